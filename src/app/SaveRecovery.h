// At start-up: in-place saves that a killed run left unfinished are put right
// (SaveJournal.h), and the user is told which files were touched.
#pragma once

#include <string>
#include <vector>

struct TInterruptedSave;

// One line for what the start did about an interrupted save.
std::string InterruptedSaveMessage(const TInterruptedSave& Save);
// Recovers every interrupted save; one message each.
std::vector<std::string> RecoverInterruptedSavesWithMessages();
