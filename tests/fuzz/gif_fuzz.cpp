// libFuzzer target for the GIF interpreter and the graphics synthesizer behind it. The input is a path
// number, a chunk length and then quadwords; whatever it holds, nothing may read past the input or touch
// memory outside the 4 MiB local memory (run under AddressSanitizer). Every input starts from the same
// device: registers, local memory and every cache reset, so a crash file reproduces on its own.
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc tests/fuzz/gif_fuzz.cpp \
//       src/console/gs/*.cpp src/console/gif/*.cpp -o gif_fuzz
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "console/gif/gif_interpreter.h"
#include "console/gs/gs_device.h"
#include "console/gs/gs_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static console::gs::GsDevice* gs = [] {
        console::gs::SetGsLogSink(nullptr);
        return new console::gs::GsDevice();
    }();
    static console::gif::GifInterpreter* gif = new console::gif::GifInterpreter(*gs);
    if (size < 2) return 0;
    gs->Reset(true);
    gif->Reset();
    const int path = 1 + data[0] % 3;
    // Vertex lists whole or register by register (the top bit of the first byte).
    console::gif::GifInterpreter::AllowVertexLists((data[0] & 0x80) == 0);
    const uint8_t chunkByte = data[1];
    const size_t chunk = 1 + chunkByte % 64;  // quadwords per delivery: packets arrive in pieces
    data += 2;
    size -= 2;
    // Quadwords are copied out so the interpreter only ever sees whole, owned quadwords.
    std::vector<uint8_t> qws(size / 16 * 16);
    if (!qws.empty()) std::memcpy(qws.data(), data, qws.size());
    const size_t total = qws.size() / 16;
    for (size_t at = 0; at < total; at += chunk) {
        const size_t n = total - at < chunk ? total - at : chunk;
        gif->Write(path, qws.data() + at * 16, n);
    }
    gif->EndTransfer(path);
    // Read back whatever a transfer set up, and the display.
    uint8_t back[256];
    gs->ReadImage(back, sizeof(back));
    static std::vector<uint8_t> display(size_t(console::gs::GsDevice::kDisplayWidth) *
                                        console::gs::GsDevice::kDisplayHeight * 4);
    // Reading the whole display back costs as much as hundreds of inputs: only inputs that ask for it
    // (the second byte all ones) do, which the fuzzer finds and keeps in its corpus like any branch.
    if (chunkByte == 0xFF) gs->ReadDisplay(display.data());
    return 0;
}
