// The playlist panel: one row per media file with its path, tag fields,
// length and reason in nine columns, file-type icons, sorting by any column,
// dropped files shown on request and a preview player.
#pragma once

#include "engine/LengthReader.h"
#include "lists/Collation.h"
#include "media/MediaUtils.h"
#include "panels/FileCheckListFrame.h"
#include "panels/PreviewPlayer.h"

#include <QIcon>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class TListLengths;

// The collation locale of the user's environment; empty (the root collation)
// for the C locale, which has no collation of its own.
std::string SystemCollationLocale();

// The columns after the six tag texts and the format.
inline constexpr int PlaylistLengthColumn = ListTextColumns + 1;
inline constexpr int PlaylistWhyColumn = ListTextColumns + 2;

class TMediaFileCheckList : public TFileCheckList {
    Q_OBJECT
public:
    using TMediaInfoProvider = std::function<void(const std::string& Path, TMediaInfo& Info)>;

    explicit TMediaFileCheckList(const QString& Name, QWidget* Parent = nullptr);
    ~TMediaFileCheckList() override;

    // A checked or unchecked row for a file and its tag fields; returns its row.
    // Why: the row's reason in words ("Included: ..."); empty for a file the
    // user added ("Added by hand").
    int AddMediaEntry(const std::string& Path, const TMediaInfo& Info, bool Checked,
                      const std::string& Why = {});
    // While on, rows added by AddMediaEntry and AddDroppedEntry say nothing:
    // turning it off says once that entries changed. (The model shows appended
    // rows to the view in timed batches either way.)
    void SetBulkAppend(bool On);
    // A file the search dropped: greyed, unchecked for good, with its reason.
    // Returns its row, or -1 while dropped files are hidden.
    int AddDroppedEntry(const std::string& Path, const TMediaInfo& Info, const std::string& Why);
    // Shows the dropped files kept so far, or hides them; either way they stay.
    void SetDroppedShown(bool Shown);
    bool DroppedShown() const;
    // The reason a row shows in its Why column and tooltip.
    QString WhyText(int Row) const;
    void SetMediaInfoProvider(TMediaInfoProvider Provider) { provider_ = std::move(Provider); }
    // How the Length column reads a file's length (tests count or fake the reads).
    void SetLengthRead(TLengthReader::TRead Read);
    // Empty: the default, ReadDurationMs.
    const TLengthReader::TRead& LengthRead() const;
    // Lengths asked for and not yet come back.
    int LengthsInFlight() const;

    int FileIconIndex(const std::string& Path);
    const std::vector<QIcon>& FileIcons() const { return Model()->Display().EntryIcons; }
    const std::vector<std::string>& ExtensionCache() const { return extensions_; }

    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return sortAscending_; }

    int PendingPreviews() const { return pendingPreviews_; }
    // Replaces the preview player (tests install their own).
    void SetPreviewPlayer(std::unique_ptr<TPreviewPlayer> Player);

    void AddExecute() override;
    void EditExecute() override;
    // The selected rows' paths, one a line, to the clipboard.
    void CopySelectedPaths() const;
    void PlayExecute();
    void StopExecute();
    void MediaPlayerNotify();

    void ListChange() override;
    void ListDblClick() override;
    void ListColumnClick(int Column) override;

signals:
    // Some rows' lengths came in (the checked total may have changed).
    void LengthsArrived();

protected:
    void Execute(TListCommand Command) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // One message box per Play: the first failure of an attempt is shown,
    // later reports of the same attempt are not.
    void ReportPlayFailure(const std::string& FileName, const QString& Reason);
    std::uint32_t NoteFor(const std::string& Why);
    // Each reason's place among the reasons in collation order, by note.
    std::vector<std::uint32_t> ReasonRanks() const;
    void SortBy(int Column, bool Ascending);

    TMediaInfoProvider provider_;
    std::string attemptFile_;
    bool attemptReported_ = true;
    bool noAudioOutputSaid_ = false;
    std::vector<std::string> extensions_;
    // Each distinct reason once, by its text: a compile has few of them.
    // Shared with the model's display policy, which the view may still ask
    // while the base class takes it down.
    std::shared_ptr<std::vector<QString>> reasons_ =
        std::make_shared<std::vector<QString>>(1, QStringLiteral("Added by hand"));
    std::unordered_map<std::string, std::uint32_t> reasonIds_;
    int sortColumn_ = 0;
    bool sortAscending_ = false;
    // A header was clicked while dropped rows were hidden: they come back by
    // that order rather than to their old places.
    bool sortedWhileHidden_ = false;
    int pendingPreviews_ = 0;
    std::unique_ptr<TPreviewPlayer> player_;
    std::shared_ptr<const TCollation> collation_;
    std::unique_ptr<TListLengths> lengths_;
    bool bulk_ = false;
    bool bulkAdded_ = false;
};
