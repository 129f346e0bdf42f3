// spoolc: compiles the text form of a spool stream to its binary form, or dumps a binary stream
// back to text.
//   spoolc [-o output] input.txt
//   spoolc --dump [-o output.txt] input.spl
// "-" reads standard input; without -o the result goes to standard output.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/spoolc/spool_text.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: spoolc [-o output] input.txt\n       spoolc --dump [-o output.txt] input.spl\n");
    return 2;
}

bool ReadInput(const std::string& name, std::string* data)
{
    if (name == "-") {
        data->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteOutput(const std::string& name, const void* data, size_t size)
{
    if (name.empty()) return std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0;
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return !out.fail();
}

}  // namespace

int main(int argc, char** argv)
{
    bool dump = false;
    std::string input, output;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0) dump = true;
        else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) output = argv[++i];
        else if (argv[i][0] == '-' && argv[i][1] != '\0') return Usage();
        else if (input.empty()) input = argv[i];
        else return Usage();
    }
    if (input.empty()) return Usage();
    std::string data;
    if (!ReadInput(input, &data)) {
        std::fprintf(stderr, "spoolc: cannot read %s: %s\n", input.c_str(), std::strerror(errno));
        return 1;
    }
    std::string error;
    try {
        if (dump) {
            const std::string text = SpoolTextDump(std::vector<uint8_t>(data.begin(), data.end()));
            if (!WriteOutput(output, text.data(), text.size())) error = "cannot write " + output;
        } else {
            const std::vector<uint8_t> bytes = SpoolTextCompile(data);
            if (!WriteOutput(output, bytes.data(), bytes.size())) error = "cannot write " + output;
        }
    } catch (const SpoolError& e) {
        error = input + ": " + e.what();
    }
    if (!error.empty()) {
        std::fprintf(stderr, "spoolc: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
