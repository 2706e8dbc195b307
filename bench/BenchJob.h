// What the benchmarks share: the search every one of them times (the
// library's .mp3 files, every tagged one taken by one include mask on
// titles) and the median of their rounds' ratios.
#pragma once

#include "engine/CompileJob.h"

#include <algorithm>
#include <string>
#include <vector>

inline CompileJob SearchJob(const std::string& Library) {
    CompileJob Job;
    Job.Folders = {Library};
    Job.FilenameMasks = {"*.mp3"};
    Job.Criteria.Fields[FieldTitle].Criteria.push_back({"*", CriterionState::Include});
    Job.Criteria.IncludeCount = 1;
    return Job;
}

// The middle of Values (the mean of the two middle ones for an even count);
// 0 for none. Ratios of rounds that ran one after the other are steadier than
// a ratio of two best rounds when the machine is noisy.
inline double Median(std::vector<double> Values) {
    if (Values.empty())
        return 0.0;
    std::sort(Values.begin(), Values.end());
    const std::size_t Mid = Values.size() / 2;
    return Values.size() % 2 ? Values[Mid] : (Values[Mid - 1] + Values[Mid]) / 2;
}
