// Exceptions of the class library: everything the library raises is an Exception.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  Exception() = default;
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

// Raised by readers of files the user can hand us (bitmaps and the like).
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};
class EOutOfResources : public Exception {
 public:
  using Exception::Exception;
};
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};
class EStringListError : public Exception {
 public:
  using Exception::Exception;
};
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};
class EThread : public Exception {
 public:
  using Exception::Exception;
};
