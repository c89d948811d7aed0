#include "cli/Options.h"

#include "framework/Registry.h"

namespace audiolens::cli {

std::string UsageText() {
    return "Usage: audiolens [OPTIONS] FILE|DIRECTORY...\n"
           "Reports the properties and tags of audio files. Directories are walked recursively;\n"
           "files found there that no reader accepts (images, text, playlists) are skipped and\n"
           "counted on stderr.\n"
           "\n"
           "  (no option)          the audio report; the reader is chosen by the file's extension\n"
           "                       (any case; .mp2, .opus, .m4b and other aliases count); a file\n"
           "                       whose extension is not an audio one is tried by every reader\n"
           "  --verify             try the extension's reader, then every reader; then report\n"
           "                       each tag the file carries\n"
           "  --tag KIND           the report of one tag kind: ID3v1, \"ID3v1 Lyrics\" (or "
           "ID3Lyrics),\n"
           "                       ID3v2, APE, Vorbis, TwinVQ, WMA, ExWMA, Mp4\n"
           "  --tag KIND --set FIELD=VALUE   write the field (repeatable) into the file's tag,\n"
           "                       keeping its other fields; FIELD is one of Track, Title, "
           "Artist,\n"
           "                       Album, Year, Comment, Genre, Composer, Encoder, Copyright, "
           "Url,\n"
           "                       ContentGroup, Language, Lyrics, OriginalArtist, Image,\n"
           "                       OriginalFile, Rating, Version\n"
           "  --tag KIND --remove  remove that tag from the file\n"
           "                       (writes go only into files whose format carries KIND;\n"
           "                       MP4 tags are read-only)\n"
           "  --json               the same values as JSON, one object per file\n"
           "  --jobs N, -j N       read N files at a time (default: one per core); the output is\n"
           "                       the same, in the same order, whatever N\n"
           "  --play FILE.mid      play a MIDI file through the first MIDI output port\n"
           "  --help, --version\n"
           "\n"
           "Exit status: 0 when every file was reported (or changed), 1 when some were not,\n"
           "2 for a usage error.\n";
}

bool ParseOptions(const std::vector<std::string>& args, TOptions& o, std::string& error) {
    bool onlyPaths = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        if (onlyPaths || a.empty() || a[0] != '-' || a == "-") {
            o.Paths.push_back(a);
        } else if (a == "--") {
            onlyPaths = true;
        } else if (a == "--verify") {
            o.Verify = true;
        } else if (a == "--json") {
            o.Json = true;
        } else if (a == "--remove") {
            o.Remove = true;
        } else if (a == "--help" || a == "-h") {
            o.Help = true;
        } else if (a == "--version") {
            o.Version = true;
        } else if (a == "--tag") {
            std::string kind;
            if (!value(kind)) return false;
            o.TagKind = TagKindByName(kind);
            if (o.TagKind < 0) {
                error = "unknown tag kind '" + kind + "'";
                return false;
            }
        } else if (a == "--set") {
            std::string assignment;
            if (!value(assignment)) return false;
            size_t eq = assignment.find('=');
            int field = eq == std::string::npos ? -1 : TagFieldByName(assignment.substr(0, eq));
            if (field < 0) {
                error = "--set needs FIELD=VALUE with a known field, not '" + assignment + "'";
                return false;
            }
            o.SetFields.emplace_back(field, assignment.substr(eq + 1));
        } else if (a == "--jobs" || a == "-j") {
            std::string count;
            if (!value(count)) return false;
            if (count.empty() || count.size() > 4 ||
                count.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(count) < 1) {
                error = a + " needs a whole number from 1 to 9999, not '" + count + "'";
                return false;
            }
            o.Jobs = std::stoi(count);
        } else if (a == "--play") {
            if (!value(o.PlayFile)) return false;
        } else {
            error = "unknown option '" + a + "'";
            return false;
        }
    }
    if (o.Help || o.Version) return true;
    if ((!o.SetFields.empty() || o.Remove) && o.TagKind < 0) {
        error = "--set and --remove need --tag KIND";
        return false;
    }
    if (!o.SetFields.empty() && o.Remove) {
        error = "--set and --remove cannot be combined";
        return false;
    }
    if (o.PlayFile.empty() && o.Paths.empty()) {
        error = "no file given";
        return false;
    }
    return true;
}

} // namespace audiolens::cli
