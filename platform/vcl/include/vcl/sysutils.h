// Exceptions of the class library: everything the library raises is an Exception.
#pragma once

#include <exception>
#include <string>

#include <vcl/export.h>

class QVCL_API Exception : public std::exception {
 public:
  Exception() = default;
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

// Raised by readers of files the user can hand us (bitmaps and the like).
class QVCL_API EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};
class QVCL_API EOutOfResources : public Exception {
 public:
  using Exception::Exception;
};
class QVCL_API EConvertError : public Exception {
 public:
  using Exception::Exception;
};
class QVCL_API EStringListError : public Exception {
 public:
  using Exception::Exception;
};
class QVCL_API EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};
class QVCL_API EThread : public Exception {
 public:
  using Exception::Exception;
};
