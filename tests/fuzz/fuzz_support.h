#pragma once
// What every fuzz target shares: reading the input a piece at a time, picking
// an operation by its letter, and a check that stops the run with a message.
// A failed check aborts, which libFuzzer reports as a finding (with the
// input saved) and the corpus replay under ctest as a failed test.

#include "exchange/reply_capture.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace tavo::fuzz {

[[noreturn]] void fail(const char* condition, const char* file, int line, const QString& detail);

// Consumes the input front to back; reads past the end give zero and nothing.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : bytes_(reinterpret_cast<const char*>(data), qsizetype(size)) {}

    bool atEnd() const { return pos_ >= bytes_.size(); }
    unsigned char byte() { return atEnd() ? 0 : static_cast<unsigned char>(bytes_[pos_++]); }
    // Up to count bytes.
    QByteArray bytes(qsizetype count);
    // The bytes before the first separator, which is consumed too; the rest
    // when there is none.
    QByteArray upTo(char separator);
    QByteArray rest() { return bytes(bytes_.size() - pos_); }

private:
    QByteArrayView bytes_;
    qsizetype pos_ = 0;
};

// Large pieces for a short input: COUNT LENGTH PATTERN gives COUNT * 256
// bytes of a pattern of 1 to 16 bytes, so that a few input bytes fill the
// reply buffer. An input has a budget of such bytes, enough to fill the
// buffer once and run past it; beyond it the pieces are empty, or inputs
// that fill it again and again would only spend the run's time copying.
class LargePieces {
public:
    static constexpr qsizetype kBudget = link::ReplyCapture::kCapacity + 4096;

    QByteArray take(FuzzInput& input);

private:
    qsizetype left_ = kBudget;
};

// An operation of a fuzz target that runs a sequence of them. Its letter
// makes hand-written seeds readable; any other byte picks an operation by
// its value, so that every input means something.
template <typename State> struct Operation {
    char letter;
    void (*run)(State& state, FuzzInput& input);
};

template <typename State>
const Operation<State>& pickOperation(std::span<const Operation<State>> operations,
                                      unsigned char code) {
    for (const Operation<State>& operation : operations) {
        if (static_cast<unsigned char>(operation.letter) == code)
            return operation;
    }
    return operations[code % operations.size()];
}

} // namespace tavo::fuzz

#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::tavo::fuzz::fail(#condition, __FILE__, __LINE__, (detail));                          \
    } while (false)
