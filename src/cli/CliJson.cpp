#include "cli/CliJson.h"

#include <ostream>

#include "common/ConsoleHost.h"
#include "smart/Cp1252.h"

namespace qm {

void WriteJson(std::ostream& out, const Json& body) {
    out << body.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

JsonCapture::JsonCapture(ConsoleHost& host) : host_(host) {
    host_.captureLog = [this](const std::string& line) { log_.push_back(Cp1252ToUtf8(line)); };
    host_.captureMessage = [this](const std::string& text) {
        messages_.push_back(Cp1252ToUtf8(text));
    };
}

JsonCapture::~JsonCapture() {
    host_.captureLog = nullptr;
    host_.captureMessage = nullptr;
}

void JsonCapture::AddTo(Json& body) const {
    body["log"] = log_;
    body["messages"] = messages_;
}

}  // namespace qm
