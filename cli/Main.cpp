// audiolens: the command-line face of the library.
#include "cli/Commands.h"
#include "cli/FileWalk.h"
#include "cli/Options.h"
#include "cli/Scan.h"
#include "platform/Process.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

namespace {

constexpr const char* VersionText = "audiolens 0.1.0\n";
// Progress is shown once a walk has passed this many files, and only on a terminal.
constexpr uint64_t ProgressAfter = 300;

// One write call per text, so that lines from a long run never interleave half-way.
void WriteErr(const std::string& text) {
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stderr);
}

class TProgress {
  public:
    explicit TProgress(bool shown) : Shown(shown), Begin(Clock::now()), Last(Begin) {}
    void FileDone() {
        ++Done;
        if (!Shown || Done < ProgressAfter) return;
        const auto now = Clock::now();
        if (now - Last < std::chrono::milliseconds(200)) return;
        Last = now;
        const double seconds = std::chrono::duration<double>(now - Begin).count();
        char line[96];
        std::snprintf(line, sizeof line, "\r%llu files, %.0f files/s ",
                      static_cast<unsigned long long>(Done), seconds > 0 ? Done / seconds : 0.0);
        WriteErr(line);
        Visible = true;
    }
    // Clears the progress line before anything else goes to stderr.
    void Clear() {
        if (!Visible) return;
        WriteErr("\r\033[K");
        Visible = false;
    }

  private:
    using Clock = std::chrono::steady_clock;
    bool Shown, Visible = false;
    uint64_t Done = 0;
    Clock::time_point Begin, Last;
};

} // namespace

int main(int argc, char** argv) {
    using namespace audiolens;
    using namespace audiolens::cli;
    std::ios::sync_with_stdio(false);
    TOptions options;
    std::string error;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!ParseOptions(args, options, error)) {
        WriteErr("audiolens: " + error + "\n" + UsageText());
        return 2;
    }
    if (options.Help) {
        std::cout << UsageText();
        return 0;
    }
    if (options.Version) {
        std::cout << VersionText;
        return 0;
    }
    // Playing needs the MIDI libraries; the companion program carries them, so that reading
    // files never loads them.
    if (!options.PlayFile.empty()) {
        WriteErr("audiolens: cannot start the player: " +
                 platform::ExecBeside("audiolens-play", {options.PlayFile}) + "\n");
        return 1;
    }
    // Tag edits run one file after another, on this thread: a write holds its file's lock and
    // its own record of what became of the file.
    const bool edits = options.Remove || !options.SetFields.empty();
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int jobs = edits ? 1 : options.Jobs > 0 ? options.Jobs : cores;
    TFileWalk walk(options.Paths);
    TProgress progress(platform::StderrIsTerminal());
    bool allReported = true;
    uint64_t notAudio = 0;
    ScanInOrder(
        jobs,
        [&](std::string& path, bool& named) {
            TWalkItem item;
            if (!walk.Next(item)) return false;
            path = std::move(item.Path);
            named = item.Named;
            return true;
        },
        [&](const std::string& path, bool named) { return RunFile(options, path, named); },
        [&](const TFileResult& result) {
            std::cout << result.Out;
            if (!result.Err.empty()) {
                progress.Clear();
                std::cout.flush();
                WriteErr(result.Err);
            }
            if (result.Outcome == TOutcome::Failed) allReported = false;
            if (result.Outcome == TOutcome::NotAudio) ++notAudio;
            progress.FileDone();
        });
    std::cout.flush();
    progress.Clear();
    if (notAudio > 0)
        WriteErr("audiolens: skipped " + std::to_string(notAudio) +
                 (notAudio == 1 ? " file" : " files") + " that no reader accepts\n");
    return allReported ? 0 : 1;
}
