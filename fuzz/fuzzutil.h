// Shared pieces of the fuzz targets: one scratch folder per process and a
// clean process-wide state for every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The process's scratch folder (ends in "/"), created on first use.
const std::string& fuzzdir();

// Empties the scratch folder and resets every process-wide record.
void fuzzreset();

// Works inside the scratch folder for one input and returns to the folder
// the fuzzer started in: libFuzzer reads its corpus by relative names.
class fuzzworkdir {
public:
    fuzzworkdir();
    ~fuzzworkdir();
    fuzzworkdir(const fuzzworkdir&) = delete;
    fuzzworkdir& operator=(const fuzzworkdir&) = delete;
    bool entered() const { return ok; }

private:
    std::string home;
    bool ok = false;
};

// Writes bytes to a file in the scratch folder; returns its path.
std::string fuzzfile(const std::string& name, std::string_view bytes);

// Splits an input into parts at lines holding only "----".
std::vector<std::string_view> fuzzparts(std::string_view input, std::size_t maxparts);

inline std::string_view fuzzinput(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}
