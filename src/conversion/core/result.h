#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

// How every step of a conversion that can fail says so: with the step and a
// reason for people, never by a null, an empty value or an exception.
namespace tessavo {

// The steps of one conversion in order. A failure stops at one step and
// prints that step's line; Done means the JPEG was written.
enum class ConversionStep : uint8_t { Read, Parse, Decode, CreateFolder, CreateDestination, Finalize, Done };

struct Failure {
    ConversionStep step = ConversionStep::Read;
    // An errno text, libheif's or libjpeg's message; the printed lines never
    // carry it.
    std::string reason;
};

// A T, or the Failure that kept it from being made.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : value_(std::in_place_index<1>, std::move(failure)) {}

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
    Result(Failure failure) : failure_(std::move(failure)) {}

    explicit operator bool() const { return !failure_; }
    const Failure& failure() const { return *failure_; }

private:
    std::optional<Failure> failure_;
};

} // namespace tessavo
