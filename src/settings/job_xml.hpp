// The settings file's XML form. libxml2 holds text as UTF-8, so this is the edge where
// conditions and the naming parameter (Shift_JIS) and paths (native, UTF-8) meet the document:
//
// <?xml version="1.0" encoding="Shift_JIS"?>
// <Brindle Version="1.0"><InportPath><Path>…</Path>…</InportPath><ExportPath>…</ExportPath>
// <NamingType>0</NamingType>[<NamingTypeParameter><ParamText/><NamingLine/><NamingPos/>
// </NamingTypeParameter>]<CreateDir>0</CreateDir><ConditionList><Condition FindPos="0"
// Capital="0" Regexp="0">…</Condition>…</ConditionList></Brindle>
//
// "Shift_JIS" is declared but read and written as CP932 (an encoding alias), so ① and ～
// survive. A character is written as itself only where CP932 gives back exactly the same
// character; anything else (an emoji, 〜 U+301C, − U+2212) is written as a numeric character
// reference, so every path comes back unchanged. Tab, CR and LF are written as references too,
// so that no XML line-end normalisation touches them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/find_type.hpp"
#include "model/naming.hpp"

namespace brindle {

// The job as the file holds it.
struct TJobData {
    std::vector<std::string> InportPath;  // native paths, no two equal
    std::string ExportPath;
    TNamingType NamingType = TNamingType::Number;
    bool CreateDir = false;
    std::vector<TFindType> ConditionList;
    TFindParam NamingTypeParameter;

    friend bool operator==(const TJobData&, const TJobData&) = default;
};

// The whole file, lines ended by CR LF. Raises Exception (with a message for the user) when a
// path is not valid UTF-8 or holds a control character, or a text is not valid Shift_JIS.
std::string WriteJobXml(const TJobData& job);

// Reads a whole file into job, which holds the values that elements absent from the file keep.
// Raises Exception when the text is no well-formed XML, its root element is not Brindle, an element
// whose text is read holds something other than text, or a condition or parameter text has no
// Shift_JIS form. A number outside its element's range leaves the value unchanged and, when refused
// is given, adds a note (UTF-8) saying so.
void ReadJobXml(std::string_view file_text, TJobData& job,
                std::vector<std::string>* refused = nullptr);

// True when the text is a settings file of this program: well-formed XML whose root element is
// Brindle. Raises nothing.
bool IsJobXml(std::string_view file_text);

// Registers the "Shift_JIS" to CP932 alias with libxml2, once; every entry point calls it.
void EnsureXmlEncodingAlias();

}  // namespace brindle
