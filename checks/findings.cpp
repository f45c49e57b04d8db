#include "checks/findings.h"

#include "platform/console/text.h"

#include <cstdio>

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

namespace {

std::string NumberOrNull(std::int32_t value) { return value ? std::to_string(value) : "null"; }

} // namespace

std::string FindingJson(const Finding& f) {
    const FindingKindInfo& kind = KindInfo(f.kind);
    std::string out = "{\"code\": " + JsonQuote(kind.code) + ", \"severity\": " + JsonQuote(kind.severity);
    if (!f.file.empty()) out += ", \"file\": " + JsonQuote(f.file);
    out += ", \"patient\": " + NumberOrNull(f.patient) + ", \"record\": " + NumberOrNull(f.record);
    for (const auto& [name, value] : f.numbers) out += ", " + JsonQuote(name) + ": " + std::to_string(value);
    if (!f.patients.empty()) {
        out += ", \"patients\": [";
        for (std::size_t i = 0; i < f.patients.size(); ++i) out += (i ? ", " : "") + std::to_string(f.patients[i]);
        out += "]";
    }
    out += ", \"source\": ";
    out += f.fromReport ? "\"report\"" : "\"console\"";
    if (!f.text.empty()) out += ", \"text\": " + JsonQuote(Cp1252ToUtf8(f.text));
    const FindingMendInfo& mend = MendInfo(kind.mend);
    out += ", \"explanation\": " + JsonQuote(Cp1252ToUtf8(kind.explanation)) + ", \"repair\": {\"action\": " +
           JsonQuote(mend.key) + ", \"text\": " + JsonQuote(Cp1252ToUtf8(mend.words)) + "}";
    return out + "}";
}

std::string FindingLine(const Finding& f) {
    if (f.record == 0 || KindInfo(f.kind).recordInText) return f.text;
    return f.text + "   (ligne " + std::to_string(f.record) + " du fichier)";
}

std::string FindingsJson(const std::vector<Finding>& findings) {
    if (findings.empty()) return "[]";
    std::string out = "[\n";
    for (std::size_t i = 0; i < findings.size(); ++i)
        out += "    " + FindingJson(findings[i]) + (i + 1 < findings.size() ? ",\n" : "\n");
    return out + "  ]";
}

const char* FindingsStatus(const std::vector<Finding>& findings) {
    if (findings.empty()) return "ok";
    for (const Finding& f : findings)
        if (std::string_view(KindInfo(f.kind).severity) == "error") return "errors";
    return "warnings";
}
