#include "support/xml_document.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstddef>

#include "platform/codepage.h"
#include "platform/date_time.h"
#include "platform/exception.h"
#include "platform/float_text.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "support/texts.h"

// Serialised text is the declaration <?xml version="1.0"?>, then CR LF and the
// document's nodes unindented (pugi::format_raw), so no whitespace is ever added
// to the content.

namespace fr {
namespace {

// Comments, processing instructions and the doctype stay in the child lists, as
// a DOM keeps them; whitespace-only text between elements is dropped.
// Fragment mode keeps text outside the root, so that the load can refuse it.
constexpr unsigned kParseOptions = pugi::parse_full | pugi::parse_fragment;

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

pugi::xml_node NodeOf(void* p) {
    return pugi::xml_node(static_cast<pugi::xml_node_struct*>(p));
}

pugi::xml_node Require(void* p, const char* operation) {
    if (p == nullptr) {
        throw EXmlError(std::u16string(texts::kXmlEmptyNode) + AsciiToUtf16(operation));
    }
    return NodeOf(p);
}

bool IsNameStart(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u':' ||
           c >= 0x80;
}

bool IsNameChar(char16_t c) {
    return IsNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
}

// pugixml writes any name it is given; a bad one would make the output unreadable.
std::string CheckedName(std::u16string_view name) {
    bool ok = !name.empty() && IsNameStart(name[0]);
    for (size_t i = 1; ok && i < name.size(); ++i)
        ok = IsNameChar(name[i]);
    if (!ok)
        throw EXmlError(std::u16string(texts::kXmlBadName) + u"\"" + std::u16string(name) + u"\"");
    return Utf16ToUtf8(name);
}

// One element and what it holds, in a form that only the content decides:
// "<name a=\"v\"...>" ... "</name>", with the markup characters of values and
// text escaped.
void AppendEscaped(std::string& AOut, const char* AText) {
    for (const char* c = AText; *c != 0; ++c) {
        switch (*c) {
            case '<':
                AOut += "&lt;";
                break;
            case '>':
                AOut += "&gt;";
                break;
            case '&':
                AOut += "&amp;";
                break;
            case '"':
                AOut += "&quot;";
                break;
            default:
                AOut += *c;
        }
    }
}

void AppendCanonical(std::string& AOut, const pugi::xml_node& ANode) {
    for (const pugi::xml_node child : ANode.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            AppendEscaped(AOut, child.value());
        } else if (child.type() == pugi::node_element) {
            std::vector<std::pair<std::string, std::string>> attributes;
            for (const pugi::xml_attribute a : child.attributes())
                attributes.emplace_back(a.name(), a.value());
            std::sort(attributes.begin(), attributes.end());
            AOut += '<';
            AOut += child.name();
            for (const auto& [name, value] : attributes) {
                AOut += ' ';
                AOut += name;
                AOut += "=\"";
                AppendEscaped(AOut, value.c_str());
                AOut += '"';
            }
            AOut += '>';
            AppendCanonical(AOut, child);
            AOut += "</";
            AOut += child.name();
            AOut += '>';
        }
    }
}

std::u16string AttributeText(const Variant& value) {
    const Variant& v = value.Deref();
    if (v.IsArray()) return VarToStr(v);  // raises the variant's own conversion error
    switch (v.BaseType()) {
        case vtOleStr:
        case vtUString:
            return v.StrValue();
        case vtString:
            return AnsiToUnicode(v.AnsiValue());
        case vtBoolean:
            return v.BoolValue() ? u"true" : u"false";
        case vtSmallint:
        case vtInteger:
        case vtShortInt:
        case vtByte:
        case vtWord:
        case vtLongWord:
        case vtInt64:
            return IntToStr(v.IntValue());
        case vtUInt64:
            return UIntToStr(v.UIntValue());
        case vtSingle:
        case vtDouble:
            return FloatToStr(v.FloatValue());
        case vtCurrency:
            return CurrToStr(v.CurrValue());
        case vtDate:
            return DateTimeToStr(v.FloatValue());
        default:
            return VarToStr(v);
    }
}

class StringWriter : public pugi::xml_writer {
  public:
    void write(const void* data, size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
    std::string out;
};

struct TLoadError {
    const char* Description = nullptr;
    ptrdiff_t Offset = 0;
};

// pugixml takes fragments; a document has one root and no text around it.
TLoadError StructureError(const pugi::xml_document& doc) {
    int roots = 0;
    for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
            return {"Text outside the root element", c.offset_debug()};
        }
        if (c.type() == pugi::node_element && ++roots > 1) {
            return {"More than one root element", c.offset_debug() - 1};  // at its '<'
        }
    }
    if (roots == 0) return {"No document element found", 0};
    return {};
}

constexpr std::string_view kForbiddenControls{
    "\x00\x01\x02\x03\x04\x05\x06\x07\x08\x0B\x0C\x0E\x0F\x10\x11\x12\x13\x14\x15\x16\x17"
    "\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F",
    29};

void LoadUtf8(pugi::xml_document& doc, std::string_view bytes) {
    if (bytes.substr(0, 3) == kUtf8Bom) bytes.remove_prefix(3);
    // The bytes are UTF-8 whatever the declaration claims: the text was converted
    // before it got here.
    // XML 1.0 allows no control character but TAB, LF and CR; the parser itself
    // does not check, so a package with one would be read as if it were valid.
    const size_t control = bytes.find_first_of(kForbiddenControls);
    const pugi::xml_parse_result result =
        control != std::string_view::npos
            ? pugi::xml_parse_result{}
            : doc.load_buffer(bytes.data(), bytes.size(), kParseOptions, pugi::encoding_utf8);
    const TLoadError error =
        control != std::string_view::npos
            ? TLoadError{"invalid character", static_cast<ptrdiff_t>(control)}
            : (result ? StructureError(doc) : TLoadError{result.description(), result.offset});
    if (error.Description == nullptr) return;
    // A failed load leaves no half-read tree behind.
    doc.reset();
    const size_t offset =
        std::min(static_cast<size_t>(std::max<ptrdiff_t>(error.Offset, 0)), bytes.size());
    const size_t position = Utf8ToUtf16(bytes.substr(0, offset)).size();
    throw EXmlError(std::u16string(texts::kXmlParseError) + AsciiToUtf16(error.Description) +
                    std::u16string(texts::kXmlParsePosition) + UIntToStr(position) + u")");
}

bool HasElementChild(pugi::xml_node node) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element) return true;
    }
    return false;
}

pugi::xml_node AppendElement(pugi::xml_node parent, std::u16string_view name) {
    const std::string utf8 = CheckedName(name);
    if (parent.type() == pugi::node_document && HasElementChild(parent)) {
        throw EXmlError(std::u16string(texts::kXmlSecondRoot));
    }
    if (parent.type() != pugi::node_document && parent.type() != pugi::node_element) {
        throw EXmlError(std::u16string(texts::kXmlNoElements));
    }
    pugi::xml_node child = parent.append_child(pugi::node_element);
    child.set_name(utf8.c_str());
    return child;
}

}  // namespace

std::u16string XmlNode::NodeName() const {
    const pugi::xml_node n = Require(node_, "NodeName");
    if (n.type() != pugi::node_element) return u"";
    return Utf8ToUtf16(n.name());
}

bool XmlNode::IsElement() const {
    return Require(node_, "IsElement").type() == pugi::node_element;
}

XmlNode XmlNode::ChildNamed(std::u16string_view name) const {
    const pugi::xml_node n = Require(node_, "ChildNamed");
    const std::string utf8 = Utf16ToUtf8(name);
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && utf8 == c.name()) return XmlNode(c.internal_object());
    }
    return XmlNode();
}

int XmlNode::ChildCount() const {
    const pugi::xml_node n = Require(node_, "ChildCount");
    int count = 0;
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        ++count;
    return count;
}

std::vector<XmlNode> XmlNode::ChildElements() const {
    const pugi::xml_node n = Require(node_, "ChildElements");
    std::vector<XmlNode> elements;
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element) elements.push_back(XmlNode(c.internal_object()));
    return elements;
}

XmlNode XmlNode::Child(int index) const {
    const pugi::xml_node n = Require(node_, "Child");
    if (index >= 0) {
        int i = 0;
        for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling(), ++i) {
            if (i == index) return XmlNode(c.internal_object());
        }
    }
    throw EXmlError(std::u16string(texts::kXmlIndexOutOfRange) + IntToStr(index));
}

Variant XmlNode::Attribute(std::u16string_view name) const {
    const pugi::xml_node n = Require(node_, "Attribute");
    const pugi::xml_attribute a = n.attribute(Utf16ToUtf8(name).c_str());
    if (!a) return Variant::Null();
    return Variant(Utf8ToUtf16(a.value()));
}

void XmlNode::SetAttribute(std::u16string_view name, const Variant& value) {
    pugi::xml_node n = Require(node_, "SetAttribute");
    if (n.type() != pugi::node_element) throw EXmlError(std::u16string(texts::kXmlNotElement));
    const std::string key = CheckedName(name);
    const std::string text = Utf16ToUtf8(AttributeText(value));
    pugi::xml_attribute a = n.attribute(key.c_str());
    if (!a) a = n.append_attribute(key.c_str());
    a.set_value(text.c_str());
}

XmlNode XmlNode::AddChild(std::u16string_view name) {
    return XmlNode(AppendElement(Require(node_, "AddChild"), name).internal_object());
}

XmlDocument::XmlDocument() : doc_(std::make_unique<pugi::xml_document>()) {}

XmlDocument::~XmlDocument() = default;

std::shared_ptr<XmlDocument> XmlDocument::Create() {
    auto doc = std::make_shared<XmlDocument>();
    pugi::xml_node decl = doc->doc_->append_child(pugi::node_declaration);
    decl.append_attribute("version").set_value("1.0");
    return doc;
}

void XmlDocument::LoadFromText(std::u16string_view text) {
    if (!text.empty() && text.front() == u'\xFEFF') text.remove_prefix(1);
    LoadUtf8(*doc_, Utf16ToUtf8(text));
}

void XmlDocument::LoadFromUtf8(std::string_view bytes) {
    LoadUtf8(*doc_, bytes);
}

XmlNode XmlDocument::DocumentElement() const {
    return XmlNode(doc_->document_element().internal_object());
}

XmlNode XmlDocument::Node() const {
    return XmlNode(doc_->internal_object());
}

XmlNode XmlDocument::AddChild(std::u16string_view name) {
    return XmlNode(AppendElement(*doc_, name).internal_object());
}

std::string XmlDocument::CanonicalText() const {
    std::string text;
    AppendCanonical(text, *doc_);
    return text;
}

std::u16string XmlDocument::Xml() const {
    StringWriter writer;
    writer.out = "<?xml version=\"1.0\"?>";
    // The document's own declaration may name another encoding; the text returned
    // is UTF-16, so only the version is declared.
    bool first = true;
    for (pugi::xml_node c = doc_->first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_declaration) continue;
        if (first) writer.out += "\r\n";
        first = false;
        c.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
    }
    return Utf8ToUtf16(writer.out);
}

}  // namespace fr
