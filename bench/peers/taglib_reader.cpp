// A peer for the comparison benchmark: opens every file named on the command line with TagLib,
// reads its audio properties and tags, and prints how many it understood.
// Built by bench/compare.sh with g++ and `pkg-config taglib`.
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <cstdio>

int main(int argc, char** argv) {
    int understood = 0;
    long long checksum = 0;
    for (int i = 1; i < argc; ++i) {
        TagLib::FileRef file(argv[i], true, TagLib::AudioProperties::Average);
        if (file.isNull() || !file.audioProperties()) continue;
        const TagLib::AudioProperties* p = file.audioProperties();
        checksum += p->lengthInMilliseconds() + p->sampleRate() + p->channels() + p->bitrate();
        if (file.tag()) checksum += file.tag()->title().size();
        ++understood;
    }
    std::printf("%d %lld\n", understood, checksum);
    return 0;
}
