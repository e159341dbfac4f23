#pragma once
// --json answers: one JSON object on stdout, written with nlohmann-json.
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qm {

class ConsoleHost;

// Keys keep the order they were added in.
using Json = nlohmann::ordered_json;

// Writes `body` and a line break. Text that is not UTF-8 is replaced by
// U+FFFD, never thrown on: convert code-page-1252 text with Cp1252ToUtf8 first.
void WriteJson(std::ostream& out, const Json& body);

// While it lives, the host's log lines are collected instead of printed (so
// stdout stays one JSON object), and the message-box texts it shows (still on
// stderr) are collected too; both converted to UTF-8.
class JsonCapture {
  public:
    explicit JsonCapture(ConsoleHost& host);
    ~JsonCapture();
    JsonCapture(const JsonCapture&) = delete;
    JsonCapture& operator=(const JsonCapture&) = delete;

    const std::vector<std::string>& LogLines() const { return log_; }
    const std::vector<std::string>& Messages() const { return messages_; }
    // Adds the "log" and "messages" arrays to `body`.
    void AddTo(Json& body) const;

  private:
    ConsoleHost& host_;
    std::vector<std::string> log_, messages_;
};

}  // namespace qm
