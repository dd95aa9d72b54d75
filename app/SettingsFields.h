#pragma once

#include <string>

namespace nimbra {

// The window's settings fields. Their texts are the only copy of the settings in memory.
enum class Field {
    Host,     // News groups, "NNTP Server" (Edit8)
    Port,     // News groups, "Port: " (Edit9)
    UserName, // News groups, "User name" (Edit13), not stored
    Password, // News groups, "Password" (Edit12), not stored
    Filter,   // News groups, "Newsgroups which contain" (Edit10)
    Timeout,  // Options, "Timeout, sec" (Edit1)
    Cache,    // Options, "Article cache" (Edit2)
    Minimum,  // Options, "Minimum ,Kb" (Edit4)
    Maximum,  // Options, "Maximum, Kb" (Edit5)
    Folder,   // Options, "Path to save files" (Edit3)
    Tls,      // News groups, "SSL/TLS" check box beside the port: "1" ticked, "0" not
    FastScan,       // Options, "Fast scan (overview)" check box: "1" ticked, "0" not
    SubjectMatch,   // Options, "Subject matches" (a regular expression; empty: no filter)
    SubjectExclude, // Options, "Subject does not match"
    Pipeline,       // Options, "Pipeline": articles asked for at once, 1..64
    Compression,    // Options, "Compression" check box: "1" ticked, "0" not
    SkipKnown,      // Options, "Skip pictures I already have" check box: "1" ticked, "0" not
    SimilarBits,    // Options, "Similar within, bits": 0..16, pictures this close are grouped
    Connections,    // Options, "Connections": connections that fetch articles at once, 1..50
};

// Reading and writing the fields' texts, as bytes.
class SettingsFields {
public:
    virtual ~SettingsFields() = default;
    virtual std::string fieldText(Field field) const = 0;
    virtual void setFieldText(Field field, const std::string& text) = 0;
};

} // namespace nimbra
