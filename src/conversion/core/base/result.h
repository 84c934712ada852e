#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

// How whatever can fail in the conversion says so: it returns a Result, a
// value or the Failure (the step it belongs to and a reason for people).
// std::optional means only "absent", never "failed"; where both can happen,
// Result<std::optional<T>>. Exceptions stay where the C++ library throws
// them (memory), caught once in convertFile. Two kinds of code keep the
// conventions of what they wrap: the owners of C handles (owners.h) hand
// back what the C call gave (null or empty, with errno), as the call itself
// does; and a ByteReader remembers, like a stream, that a read ran past the
// end, for the parser that owns it to turn into its Result.
namespace tessavo {

// The steps of one conversion in order. A failure stops at one step and
// prints that step's line; Done means the JPEG was written.
enum class ConversionStep : uint8_t { Read, Parse, Decode, CreateFolder, CreateDestination, Finalize, Done };

struct Failure {
    ConversionStep step = ConversionStep::Read;
    // An errno text, libheif's or libjpeg's message; the printed lines never
    // carry it.
    std::string reason;

    friend bool operator==(const Failure&, const Failure&) = default;
};

// A T, or the Failure that kept it from being made.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::in_place_index<0>, std::move(value)) { }
    Result(Failure failure) : value_(std::in_place_index<1>, std::move(failure)) { }

    explicit operator bool() const { return value_.index() == 0; }
    T& operator*() { return std::get<0>(value_); }
    const T& operator*() const { return std::get<0>(value_); }
    T* operator->() { return &std::get<0>(value_); }
    const T* operator->() const { return &std::get<0>(value_); }
    const Failure& failure() const { return std::get<1>(value_); }

private:
    std::variant<T, Failure> value_;
};

// A step that makes nothing: done, or the Failure.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) { }

    explicit operator bool() const { return !failure_; }
    const Failure& failure() const { return *failure_; }

private:
    std::optional<Failure> failure_;
};

} // namespace tessavo
