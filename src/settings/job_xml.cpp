#include "settings/job_xml.hpp"

#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_set>

#include "platform/core_messages.hpp"
#include "platform/exception.hpp"
#include "platform/text_encoding.hpp"
#include "platform/work_count.hpp"

namespace brindle {
namespace {

constexpr const char* kRootName = "Brindle";
constexpr const char* kVersion = "1.0";
constexpr const char* kDeclaredEncoding = "Shift_JIS";

struct DocDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct ParserDeleter {
    void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};
struct XmlCharDeleter {
    void operator()(xmlChar* text) const { xmlFree(text); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

std::string_view NodeName(const xmlNode* node) {
    return node->name ? std::string_view(reinterpret_cast<const char*>(node->name))
                      : std::string_view();
}

xmlNode* Checked(xmlNode* node) {
    if (node == nullptr) {
        throw Exception(Msg(CoreMsg::JobXmlOutOfMemory));
    }
    return node;
}

// Decodes the code point at pos of valid UTF-8 and returns its length in bytes.
std::size_t DecodeUtf8(std::string_view s, std::size_t pos, char32_t& cp) {
    const auto b = static_cast<unsigned char>(s[pos]);
    std::size_t len = 1;
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    if (b >= 0xF0) {
        cp = b & 0x07;
        len = 4;
    } else if (b >= 0xE0) {
        cp = b & 0x0F;
        len = 3;
    } else {
        cp = b & 0x1F;
        len = 2;
    }
    for (std::size_t i = 1; i < len && pos + i < s.size(); ++i) {
        cp = (cp << 6) | (static_cast<unsigned char>(s[pos + i]) & 0x3F);
    }
    return len;
}

bool IsXmlChar(char32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

void AddCharRef(xmlDoc* doc, xmlNode* parent, char32_t cp) {
    char name[16];
    std::snprintf(name, sizeof name, "&#x%X;", static_cast<unsigned>(cp));
    xmlAddChild(parent, Checked(xmlNewCharRef(doc, X(name))));
}

// A text that the settings file cannot hold: the entry says why, what names the text (one of
// the JobXmlWhat entries).
[[noreturn]] void RefuseText(CoreMsg why, const TMessage& what) {
    throw Exception(Msg(why, {{"what", what.Render()}}));
}

// Sets the element's text from UTF-8, writing as references the characters that CP932 would
// not give back unchanged. `what` names the text in the error message.
void SetText(xmlDoc* doc, xmlNode* parent, std::string_view utf8, const TMessage& what) {
    if (!IsValidUtf8(utf8)) {
        RefuseText(CoreMsg::JobXmlNotUtf8, what);
    }
    std::string run;
    const auto flush = [&] {
        if (!run.empty()) {
            xmlAddChild(parent, Checked(xmlNewDocTextLen(doc, X(run.c_str()),
                                                         static_cast<int>(run.size()))));
            run.clear();
        }
    };
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t cp = 0;
        const std::size_t len = DecodeUtf8(utf8, pos, cp);
        const std::string_view bytes = utf8.substr(pos, len);
        pos += len;
        if (!IsXmlChar(cp)) {
            RefuseText(CoreMsg::JobXmlControlCharacter, what);
        }
        if (cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x80 && !RoundTripsThroughCp932(bytes))) {
            flush();
            AddCharRef(doc, parent, cp);
        } else {
            run.append(bytes);
        }
    }
    flush();
}

xmlNode* AddElement(xmlNode* parent, const char* name) {
    return Checked(xmlNewChild(parent, nullptr, X(name), nullptr));
}

void AddTextElement(xmlDoc* doc, xmlNode* parent, const char* name, std::string_view utf8,
                    const TMessage& what) {
    SetText(doc, AddElement(parent, name), utf8, what);
}

void AddNumberElement(xmlNode* parent, const char* name, unsigned value) {
    xmlNode* element = AddElement(parent, name);
    const std::string text = std::to_string(value);
    xmlAddChild(element, Checked(xmlNewText(X(text.c_str()))));
}

// Condition and parameter texts are Shift_JIS inside the program.
std::string SjisToUtf8ForFile(const std::string& sjis, const TMessage& what) {
    std::string utf8 = Cp932ToUtf8(sjis);
    // CP932 maps no character to U+FFFD, so one in the result marks bytes that are not CP932.
    if (utf8.find("\xEF\xBF\xBD") != std::string::npos) {
        RefuseText(CoreMsg::JobXmlNotShiftJis, what);
    }
    return utf8;
}

TMessage PathLabel(const std::string& path) {
    return Msg(CoreMsg::JobXmlWhatPath, {{"path", SanitizeUtf8(path)}});
}

TMessage ConditionLabel(const std::string& utf8) {
    return Msg(CoreMsg::JobXmlWhatNamedCondition, {{"text", utf8}});
}

// --- reading ---

// The element's text: its text and CDATA children joined; comments are skipped. Anything else
// (an element, an entity that was not expanded) means the file is not what it claims to be.
std::string ElementText(const xmlNode* element) {
    std::string text;
    for (const xmlNode* child = element->children; child != nullptr; child = child->next) {
        switch (child->type) {
            case XML_TEXT_NODE:
            case XML_CDATA_SECTION_NODE:
                if (child->content != nullptr) {
                    text += reinterpret_cast<const char*>(child->content);
                }
                break;
            case XML_COMMENT_NODE:
            case XML_PI_NODE:
                break;
            default:
                throw Exception(
                    Msg(CoreMsg::JobXmlNotText, {{"element", std::string(NodeName(element))}}));
        }
    }
    return text;
}

// A decimal number as the settings file holds it; a text that is no number counts as 0.
long ReadNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        return 0;
    }
    long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return 0;
        }
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) {
            return 0;
        }
    }
    return negative ? -value : value;
}

std::string Utf8ToSjisFromFile(const std::string& utf8, const TMessage& what) {
    std::optional<std::string> sjis = Utf8ToCp932(utf8);
    if (!sjis) {
        RefuseText(CoreMsg::JobXmlNoShiftJisForm, what);
    }
    return std::move(*sjis);
}

std::optional<std::string> Attribute(const xmlNode* element, const char* name) {
    if (xmlHasProp(element, X(name)) == nullptr) {
        return std::nullopt;
    }
    const std::unique_ptr<xmlChar, XmlCharDeleter> value(xmlGetProp(element, X(name)));
    return value ? std::string(reinterpret_cast<const char*>(value.get())) : std::string();
}

// seen holds the paths of job.InportPath, so that a repeated path is found without a walk over
// the list (a file may hold very many).
void ReadInportPath(const xmlNode* list, TJobData& job, std::unordered_set<std::string>& seen) {
    for (const xmlNode* node = list->children; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && NodeName(node) == "Path") {
            std::string path = ElementText(node);
            CountWork(1);
            if (seen.insert(path).second) {
                job.InportPath.push_back(std::move(path));
            }
        }
    }
}

// Notes a number that the reader left unchanged because it is out of its element's range, for
// callers that refuse such a job rather than run it with the value it kept.
// range: JobXmlValueNotZeroOrOne or JobXmlValueNotZeroToTwo.
void NoteRefused(std::vector<std::string>* refused, std::string_view element, long value,
                 CoreMsg range) {
    if (refused != nullptr) {
        refused->push_back(
            Msg(range, {{"element", std::string(element)}, {"value", std::to_string(value)}})
                .Render());
    }
}

void ReadNamingTypeParameter(const xmlNode* parameter, TJobData& job,
                             std::vector<std::string>* refused) {
    TFindParam& param = job.NamingTypeParameter;
    for (const xmlNode* node = parameter->children; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) {
            continue;
        }
        const std::string_view name = NodeName(node);
        if (name == "ParamText") {
            param.ParamText =
                Utf8ToSjisFromFile(ElementText(node), Msg(CoreMsg::JobXmlWhatParameter));
        } else if (name == "NamingLine" || name == "NamingPos") {
            const long value = ReadNumber(ElementText(node));
            if (value != 0 && value != 1) {
                NoteRefused(refused, name, value, CoreMsg::JobXmlValueNotZeroOrOne);
            } else if (name == "NamingLine") {
                param.NamingLine = static_cast<TNamingLine>(value);
            } else {
                param.NamingPos = static_cast<TNamingPos>(value);
            }
        }
    }
}

// A condition is read leniently: a scope that is missing, no number or out of range means the
// whole message (scope 0); a missing Capital or Regexp means off, which is what the condition
// dialog starts with, so a hand-written file never silently turns a phrase into an expression.
TFindType ReadCondition(const xmlNode* node, std::vector<std::string>* refused) {
    TFindType condition;
    const std::string utf8 = ElementText(node);
    condition.Condition = Utf8ToSjisFromFile(utf8, ConditionLabel(utf8));
    if (const auto find_pos = Attribute(node, "FindPos")) {
        const long value = ReadNumber(*find_pos);
        if (value >= 0 && value <= 2) {
            condition.FindPos = static_cast<std::uint8_t>(value);
        } else {
            NoteRefused(refused, "FindPos", value, CoreMsg::JobXmlValueNotZeroToTwo);
        }
    }
    const auto flag = [node](const char* name) {
        const auto text = Attribute(node, name);
        return text.has_value() && *text != "0";
    };
    condition.Capital = flag("Capital");
    condition.Regexp = flag("Regexp");
    return condition;
}

void ReadConditionList(const xmlNode* list, TJobData& job, std::vector<std::string>* refused) {
    for (const xmlNode* node = list->children; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && NodeName(node) == "Condition") {
            job.ConditionList.push_back(ReadCondition(node, refused));
        }
    }
}

void ReadRoot(const xmlNode* root, TJobData& job, std::vector<std::string>* refused) {
    std::unordered_set<std::string> seen(job.InportPath.begin(), job.InportPath.end());
    for (const xmlNode* node = root->children; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) {
            continue;
        }
        const std::string_view name = NodeName(node);
        if (name == "InportPath") {
            ReadInportPath(node, job, seen);
        } else if (name == "ExportPath") {
            job.ExportPath = ElementText(node);
        } else if (name == "NamingType") {
            const long value = ReadNumber(ElementText(node));
            if (value >= 0 && value <= 2) {
                job.NamingType = static_cast<TNamingType>(value);
            } else {
                NoteRefused(refused, name, value, CoreMsg::JobXmlValueNotZeroToTwo);
            }
        } else if (name == "NamingTypeParameter") {
            ReadNamingTypeParameter(node, job, refused);
        } else if (name == "CreateDir") {
            job.CreateDir = ElementText(node) != "0";
        } else if (name == "ConditionList") {
            ReadConditionList(node, job, refused);
        }
    }
}

void IgnoreXmlMessage(void* /*context*/, const char* /*format*/, ...) {}

// libxml2 prints some errors (those of its encoding converters, which have no parser at hand)
// straight to standard error; here every error reaches the user as the exception's message
// instead, so for as long as this lives the library prints nothing of its own.
class QuietXmlErrors {
  public:
    QuietXmlErrors() : context_(xmlGenericErrorContext), handler_(xmlGenericError) {
        xmlSetGenericErrorFunc(nullptr, IgnoreXmlMessage);
    }
    ~QuietXmlErrors() { xmlSetGenericErrorFunc(context_, handler_); }
    QuietXmlErrors(const QuietXmlErrors&) = delete;
    QuietXmlErrors& operator=(const QuietXmlErrors&) = delete;

  private:
    void* context_;
    xmlGenericErrorFunc handler_;
};

TMessage ParseError(const xmlParserCtxt* ctxt) {
    const xmlError* error = xmlCtxtGetLastError(const_cast<xmlParserCtxt*>(ctxt));
    if (error == nullptr || error->message == nullptr) {
        return Msg(CoreMsg::JobXmlNotXml);
    }
    std::string detail = error->message;
    while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' ')) {
        detail.pop_back();
    }
    return Msg(CoreMsg::JobXmlNotXmlAt,
               {{"line", std::to_string(error->line)}, {"detail", SanitizeUtf8(detail)}});
}

}  // namespace

void EnsureXmlEncodingAlias() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        // Files declared Shift_JIS are CP932 in practice (①, ～ and the like); the strict
        // Shift_JIS converter would reject them.
        xmlAddEncodingAlias("CP932", kDeclaredEncoding);
    });
}

std::string WriteJobXml(const TJobData& job) {
    EnsureXmlEncodingAlias();
    const QuietXmlErrors quiet;
    const DocPtr doc(xmlNewDoc(X(kVersion)));
    if (!doc) {
        throw Exception(Msg(CoreMsg::JobXmlOutOfMemory));
    }
    xmlDoc* d = doc.get();
    xmlNode* root = Checked(xmlNewDocNode(d, nullptr, X(kRootName), nullptr));
    xmlDocSetRootElement(d, root);
    xmlNewProp(root, X("Version"), X(kVersion));

    xmlNode* inport = AddElement(root, "InportPath");
    for (const std::string& path : job.InportPath) {
        AddTextElement(d, inport, "Path", path, PathLabel(path));
    }
    AddTextElement(d, root, "ExportPath", job.ExportPath, PathLabel(job.ExportPath));
    AddNumberElement(root, "NamingType", static_cast<unsigned>(job.NamingType));
    if (job.NamingType == TNamingType::Parameter) {
        const TFindParam& param = job.NamingTypeParameter;
        xmlNode* element = AddElement(root, "NamingTypeParameter");
        const TMessage label = Msg(CoreMsg::JobXmlWhatParameter);
        AddTextElement(d, element, "ParamText", SjisToUtf8ForFile(param.ParamText, label), label);
        AddNumberElement(element, "NamingLine", static_cast<unsigned>(param.NamingLine));
        AddNumberElement(element, "NamingPos", static_cast<unsigned>(param.NamingPos));
    }
    AddNumberElement(root, "CreateDir", job.CreateDir ? 1 : 0);
    xmlNode* conditions = AddElement(root, "ConditionList");
    for (const TFindType& condition : job.ConditionList) {
        const std::string utf8 =
            SjisToUtf8ForFile(condition.Condition, Msg(CoreMsg::JobXmlWhatCondition));
        xmlNode* element = AddElement(conditions, "Condition");
        SetText(d, element, utf8, ConditionLabel(SanitizeUtf8(utf8)));
        xmlNewProp(element, X("FindPos"), X(std::to_string(condition.FindPos).c_str()));
        xmlNewProp(element, X("Capital"), X(condition.Capital ? "1" : "0"));
        xmlNewProp(element, X("Regexp"), X(condition.Regexp ? "1" : "0"));
    }

    xmlChar* memory = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(d, &memory, &size, kDeclaredEncoding, 0);
    const std::unique_ptr<xmlChar, XmlCharDeleter> owned(memory);
    if (memory == nullptr || size <= 0) {
        throw Exception(Msg(CoreMsg::JobXmlWriteFailed));
    }
    // Every line break of the serialized text lies between markup (texts hold theirs as
    // references), so it can be written as CR LF without touching any value.
    const std::string_view serialized(reinterpret_cast<const char*>(memory),
                                      static_cast<std::size_t>(size));
    std::string out;
    out.reserve(serialized.size() + 8);
    for (const char c : serialized) {
        if (c == '\n') {
            out += "\r\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

namespace {

DocPtr ParseJobXml(std::string_view file_text) {
    EnsureXmlEncodingAlias();
    const QuietXmlErrors quiet;
    if (file_text.size() > static_cast<std::size_t>(INT_MAX)) {
        throw Exception(Msg(CoreMsg::JobXmlTooLarge));
    }
    const std::unique_ptr<xmlParserCtxt, ParserDeleter> ctxt(xmlNewParserCtxt());
    if (!ctxt) {
        throw Exception(Msg(CoreMsg::JobXmlReadOutOfMemory));
    }
    // No network, no external entities, no DTD loading: the file is data, never a fetch order.
    DocPtr doc(xmlCtxtReadMemory(ctxt.get(), file_text.data(), static_cast<int>(file_text.size()),
                                 nullptr, nullptr,
                                 XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc) {
        throw Exception(ParseError(ctxt.get()));
    }
    return doc;
}

}  // namespace

void ReadJobXml(std::string_view file_text, TJobData& job, std::vector<std::string>* refused) {
    const DocPtr doc = ParseJobXml(file_text);
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    // Any XML file may be offered as a job; one of another program would load as an empty job
    // that the next save writes over that program's file.
    if (root == nullptr || NodeName(root) != kRootName) {
        throw Exception(Msg(CoreMsg::JobXmlWrongRoot, {{"root", kRootName}}));
    }
    ReadRoot(root, job, refused);
}

bool IsJobXml(std::string_view file_text) {
    try {
        const DocPtr doc = ParseJobXml(file_text);
        const xmlNode* root = xmlDocGetRootElement(doc.get());
        return root != nullptr && NodeName(root) == kRootName;
    } catch (const Exception&) {
        return false;
    }
}

}  // namespace brindle
