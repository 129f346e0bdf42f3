// The jbigenc tool against jbigkit's pbmtojbg on the same PBM files with the same options (one
// stripe, LRLTWO, typical prediction, MX 0): a text page and a tall blank page (a long receipt
// roll). Peak memory of each whole process (anchor / ours, from wait4) and the processor
// time of each run, taking turns; the two outputs must decode to the same page (their bytes may
// differ by the zero bytes our coder's flush leaves before a stripe's end).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/peak_memory.h"
#include "bench/race.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/jbig_pages.h"

namespace {

struct Files {
    std::string dir, pbm, ours, theirs;
    uint32_t height;
    explicit Files(const std::string& name, const JbigImage& page) : height(page.height)
    {
        char pattern[] = "/tmp/bench_jbigenc_XXXXXX";
        dir = mkdtemp(pattern) ? pattern : "/tmp";
        pbm = dir + "/" + name + ".pbm";
        ours = dir + "/ours.bie";
        theirs = dir + "/theirs.bie";
        const std::vector<uint8_t> bytes = PbmWrite(page);
        std::ofstream(pbm, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ~Files()
    {
        for (const std::string& f : {pbm, ours, theirs}) std::remove(f.c_str());
        rmdir(dir.c_str());
    }
    long Ours() { return PeakMemoryKib({JBIGENC_PATH, pbm, ours}); }
    long Theirs()
    {
        return PeakMemoryKib(
            {"/usr/bin/pbmtojbg", "-q", "-s", std::to_string(height), "-m", "0", "-p", "72", pbm, theirs});
    }
};

std::vector<uint8_t> Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void AddToolRaces(const std::string& name, JbigImage (*make)())
{
    AddRace(name + "_time", "pbmtojbg", [name, make] {
        auto files = std::make_shared<Files>(name, make());
        RaceSides race{[files] { files->Ours(); }, [files] { files->Theirs(); },
                       [files, name] {
                           if (files->Ours() < 0 || files->Theirs() < 0) return std::string("a tool failed");
                           JbigImage a, b;
                           if (!JbigkitDecode(Slurp(files->ours), a) || !JbigkitDecode(Slurp(files->theirs), b))
                               return std::string("an output does not decode");
                           if (a.rows != b.rows) return std::string("decoded pages");
                           // Peak memory, taking turns too.
                           std::vector<double> ratios;
                           for (int round = 0; round < 5; ++round) {
                               const long ours = files->Ours(), theirs = files->Theirs();
                               if (ours > 0 && theirs > 0) ratios.push_back(double(theirs) / double(ours));
                           }
                           ReportRatio(name + "_peak_memory", "pbmtojbg", ratios);
                           return std::string();
                       }};
        // Both sides are whole processes: their processor time, not the clock of a busy machine.
        race.childProcessorTime = true;
        return race;
    });
}

}  // namespace

int main(int argc, char** argv)
{
    AddToolRaces("text_page", [] { return MakeTextPage(1728, 2200, 1); });
    AddToolRaces("tall_blank_page", [] { return MakeWhitePage(1728, 40000); });
    return RaceMain(argc, argv);
}
