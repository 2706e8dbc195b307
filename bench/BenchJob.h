// The search every benchmark times: the library's .mp3 files, every tagged
// one taken by one include mask on titles.
#pragma once

#include "engine/CompileJob.h"

#include <string>

inline CompileJob SearchJob(const std::string& Library) {
    CompileJob Job;
    Job.Folders = {Library};
    Job.FilenameMasks = {"*.mp3"};
    Job.Criteria.Fields[FieldTitle].Criteria.push_back({"*", CriterionState::Include});
    Job.Criteria.IncludeCount = 1;
    return Job;
}
