#include "fakes/call_log.h"

#include <cmath>
#include <cstdio>

namespace sombrella::fakes {

std::string FormatArgs(const std::vector<double>& args) {
    std::string out;
    char buf[64];
    for (std::size_t i = 0; i < args.size(); ++i) {
        double v = args[i];
        if (std::floor(v) == v && std::fabs(v) < 1e15)
            std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
        else
            std::snprintf(buf, sizeof buf, "%g", v);
        if (i) out += ',';
        out += buf;
    }
    return out;
}

void CallLog::Add(CallRecord record) {
    if (record.text.empty()) record.text = record.method + "(" + FormatArgs(record.args) + ")";
    records_.push_back(std::move(record));
}

std::vector<std::string> CallLog::Lines() const {
    std::vector<std::string> out;
    for (const auto& r : records_) out.push_back(r.text);
    return out;
}

std::vector<std::string> CallLog::LinesOf(const std::string& object) const {
    std::vector<std::string> out;
    for (const auto& r : records_)
        if (r.object == object) out.push_back(r.text);
    return out;
}

std::vector<std::string> CallLog::Filter(const std::vector<std::string>& methods) const {
    std::vector<std::string> out;
    for (const auto& r : records_)
        for (const auto& m : methods)
            if (r.method == m) {
                out.push_back(r.text);
                break;
            }
    return out;
}

std::size_t CallLog::Count(const std::string& method) const {
    std::size_t n = 0;
    for (const auto& r : records_) n += r.method == method;
    return n;
}

long CallLog::IndexOf(const std::string& textOrMethod, std::size_t from) const {
    for (std::size_t i = from; i < records_.size(); ++i)
        if (records_[i].text == textOrMethod || records_[i].method == textOrMethod) return static_cast<long>(i);
    return -1;
}

std::string CallLog::Dump() const {
    std::string out;
    char buf[32];
    for (const auto& r : records_) {
        std::snprintf(buf, sizeof buf, " -> 0x%lX\n", static_cast<unsigned long>(r.result) & 0xFFFFFFFFul);
        out += r.object + "." + r.text + buf;
    }
    for (const auto& e : errors) out += "ERROR: " + e + "\n";
    return out;
}

}  // namespace sombrella::fakes
