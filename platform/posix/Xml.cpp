// The XML reader over expat, with namespace processing.
#include "platform/Xml.h"

#include <expat.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace platform {

namespace {

// Expat gives "namespace\x01local" for names in a namespace.
const char c_chSeparator = '\x01';

struct ParseState {
  XML_Parser parser;
  CXmlHandler* pHandler;
  std::vector<XmlAttribute> attributes;
  bool fStopped;
};

const char* LocalName(const char* pszName) {
  const char* p = std::strrchr(pszName, c_chSeparator);
  return p ? p + 1 : pszName;
}

void Stop(ParseState& st) {
  if (!st.fStopped && st.pHandler->ShouldStop()) {
    st.fStopped = true;
    XML_StopParser(st.parser, XML_FALSE);
  }
}

void XMLCALL OnStart(void* pUser, const XML_Char* pszName, const XML_Char** ppAttrs) {
  ParseState& st = *static_cast<ParseState*>(pUser);
  if (st.fStopped) return;
  std::string strNamespace;
  const char* pSep = std::strrchr(pszName, c_chSeparator);
  if (pSep) strNamespace.assign(pszName, size_t(pSep - pszName));
  st.attributes.clear();
  for (const XML_Char** pp = ppAttrs; pp[0] && pp[1]; pp += 2) st.attributes.push_back({LocalName(pp[0]), pp[1]});
  st.pHandler->OnStartElement(strNamespace.c_str(), LocalName(pszName), st.attributes.data(), st.attributes.size());
  Stop(st);
}

void XMLCALL OnEnd(void* pUser, const XML_Char*) {
  ParseState& st = *static_cast<ParseState*>(pUser);
  if (st.fStopped) return;
  st.pHandler->OnEndElement();
  Stop(st);
}

void XMLCALL OnChars(void* pUser, const XML_Char* pch, int cch) {
  ParseState& st = *static_cast<ParseState*>(pUser);
  if (st.fStopped || cch <= 0) return;
  st.pHandler->OnText(pch, size_t(cch));
  Stop(st);
}

// A document type declaration ends the reading: its entities could
// expand without bound.
void XMLCALL OnDoctype(void* pUser, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  ParseState& st = *static_cast<ParseState*>(pUser);
  st.fStopped = true;
  XML_StopParser(st.parser, XML_FALSE);
}

}  // namespace

bool ParseXml(const uint8_t* pb, size_t cb, CXmlHandler& handler) {
  XML_Parser parser = XML_ParserCreateNS(nullptr, c_chSeparator);
  if (!parser) return false;
  ParseState st{parser, &handler, {}, false};
  XML_SetUserData(parser, &st);
  XML_SetElementHandler(parser, OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser, OnChars);
  XML_SetStartDoctypeDeclHandler(parser, OnDoctype);
  bool fOk = true;
  // Fed in pieces that fit expat's int length.
  const size_t c_cbPiece = 1u << 20;
  size_t off = 0;
  do {
    size_t cbPiece = cb - off < c_cbPiece ? cb - off : c_cbPiece;
    bool fFinal = off + cbPiece == cb;
    if (XML_Parse(parser, reinterpret_cast<const char*>(pb + off), int(cbPiece), fFinal) != XML_STATUS_OK) {
      fOk = false;
      break;
    }
    off += cbPiece;
  } while (off < cb);
  XML_ParserFree(parser);
  return fOk && !st.fStopped;
}

}  // namespace platform
