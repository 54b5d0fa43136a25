#pragma once

// The contract of every fuzz target: libFuzzer calls these two, and so does
// the replay driver that runs the kept corpus in the normal build.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// A broken property is a crash, so that both libFuzzer and the replay
// driver report it with the input that caused it.
#define APH_FUZZ_CHECK(condition, what)                                                            \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, what);        \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
