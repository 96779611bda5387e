// The XML reader over the system's MSXML document parser (DOMDocument 6.0,
// else 3.0): the document is loaded whole from memory, then walked. DTDs
// are refused. (The streaming XmlLite reader of Wine ends the process on
// some truncated documents, so it is not used.)
#include "platform/Xml.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlwapi.h>
#include <msxml2.h>

#include <string>
#include <vector>

namespace platform {

namespace {

const CLSID c_clsidDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const CLSID c_clsidDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
const IID c_iidXmlDomDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

template <class T>
struct ComPtr {
  T* p = nullptr;
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { Reset(); }
  void Reset() {
    if (p) p->Release();
    p = nullptr;
  }
};

struct Bstr {
  BSTR b = nullptr;
  Bstr() = default;
  explicit Bstr(const wchar_t* psz) : b(::SysAllocString(psz)) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { ::SysFreeString(b); }
};

std::string ToUtf8(const wchar_t* pwch, size_t cwch) {
  std::string str;
  if (!pwch || cwch == 0 || cwch > 0x3FFFFFFF) return str;
  int cb = ::WideCharToMultiByte(CP_UTF8, 0, pwch, int(cwch), nullptr, 0, nullptr, nullptr);
  if (cb <= 0) return str;
  str.resize(size_t(cb));
  ::WideCharToMultiByte(CP_UTF8, 0, pwch, int(cwch), &str[0], cb, nullptr, nullptr);
  return str;
}

std::string BstrText(BSTR b) { return b ? ToUtf8(b, ::SysStringLen(b)) : std::string(); }

// COM for the calling thread while the reader runs.
class CComScope {
 public:
  CComScope() : m_fInitialized(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~CComScope() {
    if (m_fInitialized) ::CoUninitialize();
  }

 private:
  bool m_fInitialized;
};

bool StartElement(IXMLDOMNode* pNode, CXmlHandler& handler) {
  Bstr name, ns;
  pNode->get_baseName(&name.b);
  pNode->get_namespaceURI(&ns.b);
  std::vector<std::string> values;
  ComPtr<IXMLDOMNamedNodeMap> attributes;
  long cAttributes = 0;
  if (SUCCEEDED(pNode->get_attributes(&attributes.p)) && attributes.p) attributes.p->get_length(&cAttributes);
  for (long i = 0; i < cAttributes; ++i) {
    ComPtr<IXMLDOMNode> attribute;
    if (FAILED(attributes.p->get_item(i, &attribute.p)) || !attribute.p) continue;
    Bstr qualified, local, text;
    attribute.p->get_nodeName(&qualified.b);
    std::string strQualified = BstrText(qualified.b);
    if (strQualified == "xmlns" || strQualified.compare(0, 6, "xmlns:") == 0) continue;  // a declaration
    attribute.p->get_baseName(&local.b);
    attribute.p->get_text(&text.b);
    values.push_back(BstrText(local.b));
    values.push_back(BstrText(text.b));
  }
  std::vector<XmlAttribute> list;
  for (size_t i = 0; i + 1 < values.size(); i += 2) list.push_back({values[i].c_str(), values[i + 1].c_str()});
  handler.OnStartElement(BstrText(ns.b).c_str(), BstrText(name.b).c_str(), list.data(), list.size());
  return !handler.ShouldStop();
}

// Walks the element's subtree without recursion (documents may nest deep).
bool Walk(IXMLDOMNode* pRoot, CXmlHandler& handler) {
  if (!StartElement(pRoot, handler)) return false;
  pRoot->AddRef();
  std::vector<IXMLDOMNode*> stack(1, pRoot);  // open elements, each held once
  IXMLDOMNode* pChild = nullptr;
  pRoot->get_firstChild(&pChild);
  bool fOk = true;
  while (fOk && !stack.empty()) {
    if (!pChild) {
      IXMLDOMNode* pDone = stack.back();
      stack.pop_back();
      handler.OnEndElement();
      if (handler.ShouldStop()) fOk = false;
      if (!stack.empty()) pDone->get_nextSibling(&pChild);
      pDone->Release();
      continue;
    }
    DOMNodeType type = NODE_INVALID;
    pChild->get_nodeType(&type);
    IXMLDOMNode* pNext = nullptr;
    if (type == NODE_ELEMENT) {
      if (!StartElement(pChild, handler)) {
        pChild->Release();
        pChild = nullptr;
        fOk = false;
        break;
      }
      stack.push_back(pChild);
      pChild->get_firstChild(&pNext);
      pChild = pNext;
      continue;
    }
    if (type == NODE_TEXT || type == NODE_CDATA_SECTION) {
      Bstr text;
      pChild->get_text(&text.b);
      std::string str = BstrText(text.b);
      if (!str.empty()) handler.OnText(str.data(), str.size());
      if (handler.ShouldStop()) fOk = false;
    }
    pChild->get_nextSibling(&pNext);
    pChild->Release();
    pChild = pNext;
  }
  if (pChild) pChild->Release();
  for (IXMLDOMNode* p : stack) p->Release();
  return fOk;
}

}  // namespace

bool ParseXml(const uint8_t* pb, size_t cb, CXmlHandler& handler) {
  if (!pb || cb == 0 || cb > 0x7FFFFFFF) return false;
  CComScope com;
  ComPtr<IXMLDOMDocument2> doc;
  if (FAILED(::CoCreateInstance(c_clsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER, c_iidXmlDomDocument2,
                                reinterpret_cast<void**>(&doc.p))) &&
      FAILED(::CoCreateInstance(c_clsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, c_iidXmlDomDocument2,
                                reinterpret_cast<void**>(&doc.p))))
    return false;
  if (!doc.p) return false;
  doc.p->put_async(VARIANT_FALSE);
  doc.p->put_validateOnParse(VARIANT_FALSE);
  doc.p->put_resolveExternals(VARIANT_FALSE);
  doc.p->put_preserveWhiteSpace(VARIANT_TRUE);
  {
    Bstr name(L"ProhibitDTD");
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    doc.p->setProperty(name.b, v);
  }
  ComPtr<IStream> stream;
  stream.p = ::SHCreateMemStream(pb, UINT(cb));
  if (!stream.p) return false;
  VARIANT source;
  ::VariantInit(&source);
  source.vt = VT_UNKNOWN;
  source.punkVal = stream.p;
  VARIANT_BOOL fLoaded = VARIANT_FALSE;
  if (FAILED(doc.p->load(source, &fLoaded)) || fLoaded != VARIANT_TRUE) return false;
  ComPtr<IXMLDOMDocumentType> doctype;
  if (SUCCEEDED(doc.p->get_doctype(&doctype.p)) && doctype.p) return false;
  ComPtr<IXMLDOMElement> root;
  if (FAILED(doc.p->get_documentElement(&root.p)) || !root.p) return false;
  return Walk(root.p, handler);
}

}  // namespace platform
