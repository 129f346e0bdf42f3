// The host's side of a render call: it hands a spool stream to ImeRender, seekable or forward-only,
// or through a producer thread that writes the stream while the engine reads it, and passes every
// byte the output module writes to a sink. The stream is read from its file as the engine asks
// for it, never held whole in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/common/render_options.h"

enum class FaxFeed {
    Seekable,  // read and seek callbacks over the whole stream
    ForwardOnly,  // read callback only
    Producer,  // a producer thread appends the stream record by record while the engine reads
};

struct FaxRenderSettings {
    std::string moduleFileName;  // the output module, loaded by the engine by file name
    std::string configuration;  // the module's configuration string
    uint32_t jobNumber = 1;
    RenderOptions options{};  // the engine's budgets; zero fields take the engine's defaults
    FaxFeed feed = FaxFeed::Seekable;
    // Producer only: also publish page positions and the job end through a SpoolProgress record,
    // so the engine waits on it for pages not yet written. Its lock and events must come from the
    // same platform layer as the engine's (a host linked with the engine's static core).
    bool progressRecord = false;
    uint32_t producerChunk = 4096;  // bytes the producer appends at a time
    // The module's bytes, in order; false fails the write (the module then cancels the job).
    std::function<bool(const uint8_t* bytes, uint32_t length)> sink;
    // Called now and then during the call with the spool bytes read so far and the bytes written.
    std::function<void(uint64_t read, uint64_t written)> progress;
    double progressSeconds = 1.0;
};

// Where the spool bytes come from: `head` (bytes held in memory: the patched start of a spool file,
// or a whole stream a test built), then the rest of the file descriptor `fd` (-1: none) from
// `restOffset` on. A regular file is read where the engine asks and can be seeked; a pipe is read
// once, in order, so the engine is given no seek callback for it.
struct FaxSpoolInput {
    std::vector<uint8_t> head;
    int fd = -1;
    bool regular = true;
    uint64_t restOffset = 0;
    uint64_t restSize = 0;  // regular files: the bytes behind restOffset
};

// ImeRender's result: 0 on success. A failure's cause, as far as it is known, goes to *cause: the
// lines the engine and the module logged during the call, or what failed on the host's side.
uint32_t FaxRender(const FaxSpoolInput& input, const FaxRenderSettings& settings, std::string* cause = nullptr);
uint32_t FaxRender(const std::vector<uint8_t>& spool, const FaxRenderSettings& settings, std::string* cause = nullptr);

// What a result code of ImeRender means, for messages.
std::string FaxRenderResultText(uint32_t code);

// The output module's file beside the library that holds ImeRender, or "" when unknown.
std::string FaxDefaultModulePath();
