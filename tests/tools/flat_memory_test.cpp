// A long-running host: many render calls in one process, with a configuration file, must not
// grow. Its own program, so that the fax module is loaded and unloaded by every call as in a
// host, and nothing else keeps it mapped.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/spool_builder.h"
#include "tools/faxrender/fax_block.h"
#include "tools/faxrender/fax_host.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

namespace {

// Bytes the process has allocated and not freed, as its allocator counts them.
size_t AllocatedBytes()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

TEST(FlatMemory, ManyRenderCallsWithAConfigurationFile)
{
    char name[] = "/tmp/faxrender-config-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    const std::string text = "[default]\nJBIGOptions = 0\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);

    std::vector<uint8_t> spool = SpoolBuilder().Signature().StreamVersion(2).JobHeader({{"copies", 1}}).JobEnd().Data();
    FaxBlockOptions block;
    block.numbers = {"0800 42"};
    std::vector<uint8_t> blob;
    std::string error;
    ASSERT_TRUE(FaxBlockBuild(block, &blob, &error) && SpoolJobHeaderBlobSet(&spool, blob, &error)) << error;

    FaxRenderSettings settings;
    settings.moduleFileName = PELVANE_LIBRARY;
    settings.configuration = std::string("pelvane,") + name + ",default";
    settings.sink = [](const uint8_t*, uint32_t) { return true; };
    // Small budgets: the calls are many, and what they must give back does not depend on them.
    settings.options.textureEntries = 64;
    settings.options.textureBytes = 64 * 1024;
    settings.options.bandMemory = 256 * 1024;
    // The first tenth of the calls fills what is made once per process; after it every call must
    // give back all it took: 200 bytes a call would be 180 kB over 900 calls, 3.6 MB over 18,000.
    // Loading and unloading the module takes some 50 ms a call under the sanitizers, so the test
    // run makes 1,000 calls; FAX_RENDER_CALLS=20000 makes the long run (a release build takes
    // minutes).
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps bookkeeping for every image it sees loaded (some 130 bytes a load of
    // the module), which is not the system's memory: under it the module stays loaded across the
    // calls, and the load-and-unload path is left to LeakSanitizer in the tool's own tests. A build
    // without sanitizers loads and unloads it every call, as a host does.
    void* held = dlopen(PELVANE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(held, nullptr);
#endif
    const char* calls = std::getenv("FAX_RENDER_CALLS");
    const int kCalls = calls ? std::max(10, std::atoi(calls)) : 1000;
    size_t warm = 0;
    for (int call = 1; call <= kCalls; ++call) {
        ASSERT_EQ(FaxRender(spool, settings), 0u) << "call " << call;
        if (call == kCalls / 10) warm = AllocatedBytes();
    }
    const size_t after = AllocatedBytes();
    unlink(name);
#if defined(__SANITIZE_ADDRESS__)
    dlclose(held);
#endif
    EXPECT_LT(after, warm + 64 * 1024) << "grew by " << (after - warm) << " bytes over " << kCalls - kCalls / 10
                                       << " render calls";
}

}  // namespace
