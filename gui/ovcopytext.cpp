#include "ovcopytext.h"

#include "files/ovrowutils.h"
#include "ovdumptext.h"
#include "ovfindquery.h"

std::string rowCopyText(const TobjPtr& obj, const std::string& decodeMarkup) {
  if (!obj) return "";
  // A grouping row's text form goes on with its children's lines: its own line only.
  const std::string form = rowutils::objToString(obj);
  std::string text = form.substr(0, form.find('\n')) + "\n";
  const std::string decode = decodePlainText(decodeMarkup);
  if (!decode.empty()) text += "\n" + decode;
  const TdumpText dump = buildDump(shownBytes(obj));
  text += "\n" + dump.count.substr(dump.count.find_first_not_of(' ')) + "\n";
  if (!dump.dump.empty()) text += dump.dump.substr(dump.dump.find_first_not_of('\n')) + "\n";
  return text;
}
