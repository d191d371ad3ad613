// Errors raised by the runtime support. No part of the program catches them: they end the
// program through the last-resort box (see fatal_error_box.h), which names the kind and shows
// the message.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

class AppError : public std::runtime_error {
public:
    AppError(std::string kind, const std::string& message) : std::runtime_error(message), kind_(std::move(kind)) {}
    const std::string& Kind() const { return kind_; }

private:
    std::string kind_;
};

// "Invalid data type for 'Name'", "Failed to get data for 'Name'", "Failed to set data for 'Name'".
class RegistryError : public AppError {
public:
    explicit RegistryError(const std::string& message) : AppError("Registry error", message) {}
};

class FileError : public AppError {
public:
    explicit FileError(const std::string& message) : AppError("File error", message) {}
};

class ListIndexError : public AppError {
public:
    explicit ListIndexError(long long index) : AppError("List error", "List index out of bounds (" + std::to_string(index) + ")") {}
};

// The text of the last-resort box for whatever was thrown: the error's kind, then its message.
std::string DescribeError(std::exception_ptr error);
