// Runs the work of each file on a pool of threads and hands the results back in the order the
// files came, so that the output of N threads is byte for byte that of one. At most a fixed
// number of results wait to be printed, whatever the number of files.
#pragma once

#include <functional>
#include <string>

namespace audiolens::cli {

enum class TOutcome { Reported, Failed, NotAudio };

struct TFileResult {
    std::string Out, Err;
    TOutcome Outcome = TOutcome::Reported;
};

// next gives the next file (false at the end); work runs on any thread; done runs on the
// calling thread, in input order.
void ScanInOrder(int jobs, const std::function<bool(std::string&, bool&)>& next,
                 const std::function<TFileResult(const std::string&, bool)>& work,
                 const std::function<void(const TFileResult&)>& done);

} // namespace audiolens::cli
