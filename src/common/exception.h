// The base of every error the program shows: an exception that carries a message text.
//
// Each subsystem derives its own classes (database, registry, ini file); the application
// shell catches this base at the message-handler boundary and shows Message().
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace kx {

class Exception : public std::exception {
 public:
  Exception() = default;
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 protected:
  void SetMessage(std::string message) { message_ = std::move(message); }

 private:
  std::string message_;
};

// An operation that the component's state does not allow.
class EInvalidOp : public Exception {
 public:
  using Exception::Exception;
};

// The text an error is shown with: the message, with a full stop appended when it is not
// empty and its last character has a higher code than "." (a letter or a digit gets one; ".",
// "!", ")" or a blank do not).
inline std::string MessageWithFullStop(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace kx
