// The playlist panel: one row per media file with its tag fields in seven
// columns, file-type icons, sorting by any column and a preview player.
#pragma once

#include "media/MediaUtils.h"
#include "panels/Collation.h"
#include "panels/FileCheckListFrame.h"
#include "panels/PreviewPlayer.h"

#include <QIcon>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

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
    // The reason a row shows in its Why column and tooltip.
    QString WhyText(int Row) const;
    void SetMediaInfoProvider(TMediaInfoProvider Provider) { provider_ = std::move(Provider); }

    int FileIconIndex(const std::string& Path);
    const std::vector<QIcon>& FileIcons() const { return Model()->Display().EntryIcons; }
    const std::vector<std::string>& ExtensionCache() const { return extensions_; }

    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return sortAscending_; }

    int PendingPreviews() const { return pendingPreviews_; }
    // Replaces the preview player (tests install their own).
    void SetPreviewPlayer(std::unique_ptr<TPreviewPlayer> Player);

    void AddExecute() override;
    void PlayExecute();
    void StopExecute();
    void MediaPlayerNotify();

    void ListChange() override;
    void ListDblClick() override;
    void ListColumnClick(int Column) override;

protected:
    void Execute(TListCommand Command) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // One message box per Play: the first failure of an attempt is shown,
    // later reports of the same attempt are not.
    void ReportPlayFailure(const std::string& FileName, const QString& Reason);

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
    int pendingPreviews_ = 0;
    std::unique_ptr<TPreviewPlayer> player_;
    std::shared_ptr<const TCollation> collation_;
};
