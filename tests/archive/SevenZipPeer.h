#pragma once

// Runs 7-Zip's own command-line program, the independent reader of what the writer produces.

#include <cstdio>
#include <memory>
#include <string>

namespace zvtest {

struct PeerResult {
    int status = -1;
    std::string output;
};

// Runs command through the shell and gathers its standard output.
inline PeerResult runPeer(const std::string &command) {
    PeerResult result;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    result.status = ::pclose(pipe);
    return result;
}

// Single-quoted for the shell.
inline std::string shellQuote(const std::string &text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// The value of "key = value" lines of `7z l -slt`, in the order they appear, one per item.
inline std::string sltValues(const std::string &listing, const std::string &key) {
    std::string values;
    const std::string prefix = key + " = ";
    size_t pos = 0;
    while ((pos = listing.find("\n" + prefix, pos)) != std::string::npos) {
        pos += 1 + prefix.size();
        const size_t end = listing.find('\n', pos);
        if (!values.empty())
            values += '|';
        values += listing.substr(pos, end - pos);
    }
    return values;
}

}  // namespace zvtest
