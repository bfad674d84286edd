// Loading a master file through the CD layer: name search, sector reads through the two buffers, and
// the whole-image checks.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "game/files/master_file_format.h"

namespace {

// A disc with one 8 MB master file of 400 sub-files.
std::string MakeDisc() {
    char tmpl[] = "/tmp/qz-bench-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    MasterFileWriter w;
    w.beginLabel();
    std::vector<uint8_t> sub(20000);
    for (int i = 0; i < 400; ++i) {
        for (size_t k = 0; k < sub.size(); ++k) sub[k] = static_cast<uint8_t>(i + k);
        w.add(sub);
    }
    auto image = w.build();
    std::string path = dir + "/WORLD.BIN";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);
    return dir;
}

void BM_LoadMasterFile(benchmark::State& state) {
    static std::string dir = MakeDisc();
    console::CdMount(dir.c_str());
    x_InitSTDIO();
    PS2CD_ResetFiles();
    auto* saved = x_GetIODriver()->FnPrint;
    x_GetIODriver()->FnPrint = [](const char*) {};
    CFileManager fm;
    int64_t bytes = 0;
    for (auto _ : state) {
        void* image = fm.loadFile("WORLD.BIN");
        if (!image) {
            state.SkipWithError("load failed");
            break;
        }
        bytes += static_cast<int64_t>(fm.getSubFileCount(image)) * 20000;
        x_free(image);
    }
    x_GetIODriver()->FnPrint = saved;
    state.SetBytesProcessed(bytes);
    console::CdUnmount();
}
BENCHMARK(BM_LoadMasterFile)->Unit(benchmark::kMillisecond);

}  // namespace
