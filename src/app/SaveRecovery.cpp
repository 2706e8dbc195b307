// Messages for the interrupted saves found at start-up.
#include "app/SaveRecovery.h"

#include "files/SafeReplace.h"
#include "files/SaveJournal.h"
#include "model/MessageText.h"

std::string InterruptedSaveMessage(const TInterruptedSave& Save) {
    const std::string what = "An interrupted save of " + QuoteForMessage(Save.FileName, 1024);
    using TOutcome = TInterruptedSave::TOutcome;
    switch (Save.Outcome) {
    case TOutcome::Restored:
        return what + " was undone: the file holds its former content again.";
    case TOutcome::Finished:
        return what + " had written all of the new content: the file keeps it.";
    case TOutcome::Replaced:
        return what + " was not undone: the file was removed or replaced since. Its former " +
               "content is in " + QuoteForMessage(Save.KeptCopy, 1024) + ".";
    case TOutcome::Failed:
        break;
    }
    return what + " could not be undone (" + WriteFailureCause({Save.Error, true}) +
           "); the next start tries again.";
}

std::vector<std::string> RecoverInterruptedSavesWithMessages() {
    std::vector<std::string> messages;
    for (const TInterruptedSave& save : RecoverInterruptedSaves())
        messages.push_back(InterruptedSaveMessage(save));
    return messages;
}
