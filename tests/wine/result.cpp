#include "result.h"

#include <nlohmann/json.hpp>

#include "adapter/trace_json.h"

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHighSurrogate(uint32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}

bool IsLowSurrogate(uint32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Keys in the order the object is written, so that a result reads top to bottom as the run went.
using Json = nlohmann::ordered_json;

Json TextOrNull(const std::optional<std::string>& text) {
    return text ? Json(*text) : Json(nullptr);
}

} // namespace

std::string TextFromBytes(const std::string& bytes) {
    std::string out;
    for (unsigned char b : bytes) {
        AppendUtf8(out, b);
    }
    return out;
}

std::string TextFromUtf16(const std::u16string& units) {
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t u = units[i];
        if (IsHighSurrogate(u) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00));
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

namespace {

Json ToJson(const RunResult& r) {
    Json boxes = Json::array();
    for (const MessageBoxCall& b : r.messageBoxes) {
        boxes.push_back({{"text", TextOrNull(b.text)},
                         {"caption", TextOrNull(b.caption)},
                         {"type", b.type},
                         {"dismissed", b.dismissed}});
    }
    Json calls = Json::array();
    for (const DriverCall& c : r.driverCalls) {
        calls.push_back({{"code", c.code},
                         {"inSize", c.inSize},
                         {"outSize", c.outSize},
                         {"ok", c.ok},
                         {"error", c.error},
                         {"base", c.base},
                         {"size", c.size}});
    }
    Json crash = nullptr;
    if (r.crash) {
        crash = {{"code", r.crash->code}, {"address", r.crash->address}};
    }
    Json result = {
        {"exitCode", r.exitCode},
        {"messageBoxes", boxes},
        {"stdout", TextFromBytes(r.standardOutput)},
        {"stderr", TextFromBytes(r.standardError)},
        {"accesses", r.accesses},
        {"driverCalls", calls},
        {"changedRegisters", r.changedRegisters},
        {"screen",
         {{"width", r.screen.width},
          {"height", r.screen.height},
          {"bitsPerPixel", r.screen.bitsPerPixel},
          {"refresh", r.screen.refresh}}},
        {"crash", crash},
        {"error", r.error.empty() ? Json(nullptr) : Json(TextFromBytes(r.error))},
    };
    if (r.process) {
        result["process"] = {{"pid", r.process->pid},
                             {"program", r.process->program},
                             {"commandLine", r.process->commandLine},
                             {"startTick", r.process->startTick},
                             {"exitTick", r.process->exitTick}};
    }
    if (r.followed) {
        Json children = Json::array();
        for (const RunResult& child : r.children) {
            children.push_back(ToJson(child));
        }
        result["children"] = children;
    }
    return result;
}

} // namespace

std::string ResultJson(const RunResult& r) {
    return ToJson(r).dump(1, ' ', true) + "\n";
}
