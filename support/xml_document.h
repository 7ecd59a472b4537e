#pragma once
// XML document access over pugixml. Every DOM failure raises EXmlError.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/variant.h"

namespace pugi {
class xml_document;
}

namespace fr {

// A node handle; a default one is nil.
class XmlNode {
  public:
    XmlNode() = default;
    bool IsNil() const { return node_ == nullptr; }
    explicit operator bool() const { return !IsNil(); }

    std::u16string NodeName() const;  // the tag as written; "" for non-elements
    bool IsElement() const;
    // First child element with the name (case-sensitive); nil when absent. Never
    // creates a node. Raises on a nil node.
    XmlNode ChildNamed(std::u16string_view name) const;
    // All child nodes, non-elements included, in document order.
    int ChildCount() const;
    XmlNode Child(int index) const;  // raises past the end
    // The child elements in document order, in one pass (Child(i) walks from the
    // first child each time).
    std::vector<XmlNode> ChildElements() const;
    // Null when absent, else the text (an empty attribute is an empty string).
    Variant Attribute(std::u16string_view name) const;
    // Strings as they are, integers in decimal, Booleans "true"/"false", dates as
    // the system's date-and-time text; replaces an existing value.
    void SetAttribute(std::u16string_view name, const Variant& value);
    // Appends a child element after the existing children.
    XmlNode AddChild(std::u16string_view name);

  private:
    friend class XmlDocument;
    explicit XmlNode(void* node) : node_(node) {}
    void* node_ = nullptr;  // pugi::xml_node_struct*
};

class XmlDocument {
  public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // A new empty document with the declaration version "1.0".
    static std::shared_ptr<XmlDocument> Create();

    // Any well-formed text, whatever its encoding declaration says; raises
    // EXmlError with the parser's message otherwise.
    void LoadFromText(std::u16string_view text);
    // UTF-8 bytes, with or without a byte-order mark.
    void LoadFromUtf8(std::string_view bytes);

    XmlNode DocumentElement() const;             // nil when there is none
    XmlNode Node() const;                        // the document node itself
    XmlNode AddChild(std::u16string_view name);  // becomes the root
    // The whole document, starting with the version 1.0 declaration.
    std::u16string Xml() const;
    // The content alone, as UTF-8: elements with their attributes sorted by name,
    // and text; no declaration, comments, processing instructions or spacing
    // between elements. Two documents that say the same give the same text.
    std::string CanonicalText() const;

  private:
    std::unique_ptr<pugi::xml_document> doc_;
};

using IXMLDocument = std::shared_ptr<XmlDocument>;

}  // namespace fr
