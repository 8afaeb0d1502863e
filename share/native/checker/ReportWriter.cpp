#include "check/ReportWriter.h"

#include <cstdio>

#include "check/ByteEscape.h"

namespace {

void writeTextField(std::ostream& out, const char* name, const std::optional<std::string>& value) {
    if (value) {
        out << name << ": " << escapeUnprintable(*value) << "\n";
    }
}

const char* loadText(CheckReport::Load load) {
    switch (load) {
        case CheckReport::Load::Loaded:
            return "loaded";
        case CheckReport::Load::Skipped:
            return "skipped";
        case CheckReport::Load::NotReached:
            break;
    }
    return nullptr;
}

const char* statusText(int status) {
    switch (status) {
        case 0:
            return "the launcher would start the runtime";
        case 2:
            return "the launcher would start the runtime, but see the warnings";
        default:
            return "the launcher would fail";
    }
}

// A JSON string of already valid UTF-8.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : escapeInvalidUtf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string jsonValue(const std::optional<std::string>& value) {
    return value ? jsonString(*value) : "null";
}

std::string jsonArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const std::string& item : items) {
        out += (out.size() > 1 ? "," : "") + jsonString(item);
    }
    return out + "]";
}

std::string jsonWarning(const CheckWarning& warning) {
    std::string out = "{\"message\":" + jsonString(warning.message);
    if (!warning.file.empty()) {
        out += ",\"file\":" + jsonString(warning.file);
    }
    if (warning.line != 0) {
        out += ",\"line\":" + std::to_string(warning.line);
    }
    return out + "}";
}

}  // namespace

void writeTextReport(std::ostream& out, const CheckReport& report) {
    writeTextField(out, "config", report.config);
    writeTextField(out, "runtime_dir", report.runtimeDir);
    writeTextField(out, "library", report.library);
    writeTextField(out, "library_path_variable", report.libraryPathVariable);
    if (report.argv) {
        out << "argv: " << report.argv->size() << "\n";
        for (std::size_t i = 0; i < report.argv->size(); ++i) {
            out << "  [" << i << "] " << escapeUnprintable((*report.argv)[i]) << "\n";
        }
    }
    if (const char* load = loadText(report.load)) {
        out << "load: " << load << "\n";
    }
    for (const CheckWarning& warning : report.warnings) {
        out << "warning: ";
        if (!warning.file.empty()) {
            out << escapeUnprintable(warning.file) << ":";
            if (warning.line != 0) {
                out << warning.line << ":";
            }
            out << " ";
        }
        out << escapeUnprintable(warning.message) << "\n";
    }
    for (const std::string& error : report.errors) {
        out << "error: " << escapeUnprintable(error) << "\n";
    }
    const int status = checkStatus(report);
    out << "status: " << status << " (" << statusText(status) << ")\n";
}

void writeJsonReport(std::ostream& out, const CheckReport& report) {
    const char* load = loadText(report.load);
    out << "{\"config\":" << jsonValue(report.config)
        << ",\"runtime_dir\":" << jsonValue(report.runtimeDir)
        << ",\"library\":" << jsonValue(report.library)
        << ",\"library_path_variable\":" << jsonValue(report.libraryPathVariable)
        << ",\"argv\":" << (report.argv ? jsonArray(*report.argv) : "null")
        << ",\"load\":" << (load ? jsonString(load) : "null") << ",\"errors\":[";
    for (std::size_t i = 0; i < report.errors.size(); ++i) {
        out << (i ? "," : "") << "{\"message\":" << jsonString(report.errors[i]) << "}";
    }
    out << "],\"warnings\":[";
    for (std::size_t i = 0; i < report.warnings.size(); ++i) {
        out << (i ? "," : "") << jsonWarning(report.warnings[i]);
    }
    out << "],\"status\":" << checkStatus(report) << "}\n";
}
