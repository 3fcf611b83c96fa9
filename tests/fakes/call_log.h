// The shared record of every call made on the fakes, in call order.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sombrella::fakes {

struct CallRecord {
    std::string object;         // label of the fake, e.g. "device#1", "surface#3"
    std::string method;         // e.g. "SetRenderState"
    std::vector<double> args;   // numeric arguments in order (pointers as 0/1 for absent/present)
    std::string text;           // "SetRenderState(137,1)"
    long result = 0;            // HRESULT / ULONG returned
};

class CallLog {
public:
    void Add(CallRecord record);
    void Clear() { records_.clear(); }

    const std::vector<CallRecord>& Records() const { return records_; }
    // "Method(args)" strings, optionally only those of one object label.
    std::vector<std::string> Lines() const;
    std::vector<std::string> LinesOf(const std::string& object) const;
    // Only the calls of the given methods, as text, in order.
    std::vector<std::string> Filter(const std::vector<std::string>& methods) const;
    std::size_t Count(const std::string& method) const;
    // Index of the first record whose text equals `text` (or whose method equals it), -1 if none.
    long IndexOf(const std::string& textOrMethod, std::size_t from = 0) const;
    // Everything, one line per call, "object.Method(args) -> result"; for failure messages.
    std::string Dump() const;

    // Misuse the fakes noticed (calls on released objects, over-release, nested
    // scenes, unbalanced locks). Tests usually expect this to stay empty.
    std::vector<std::string> errors;

private:
    std::vector<CallRecord> records_;
};

// Formats numbers the way the log shows them: integers plainly, floats with %g.
std::string FormatArgs(const std::vector<double>& args);

}  // namespace sombrella::fakes
