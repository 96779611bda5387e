// A streaming reader of XML documents (GPX and other exchange files): the
// document's elements and texts are handed to a handler in order. Names
// are local names with their namespace given apart; texts are UTF-8.
// Documents with a DTD are refused (no entity expansion from outside).
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

struct XmlAttribute {
  const char* pszName;   // local name
  const char* pszValue;  // UTF-8
};

class CXmlHandler {
 public:
  // pszNamespace is "" for an element without namespace.
  virtual void OnStartElement(const char* pszNamespace, const char* pszName, const XmlAttribute* pAttributes,
                              size_t cAttributes) = 0;
  virtual void OnEndElement() = 0;
  // Character data of the current element, possibly in several pieces.
  virtual void OnText(const char* pch, size_t cch) = 0;
  // Asked after every event: true stops the reading (ParseXml then fails).
  virtual bool ShouldStop() const { return false; }

 protected:
  virtual ~CXmlHandler() {}
};

// Reads the whole document. False when it is not well-formed XML, has a
// DTD, or the handler stopped it; the handler may have seen a part.
bool ParseXml(const uint8_t* pb, size_t cb, CXmlHandler& handler);

}  // namespace platform
