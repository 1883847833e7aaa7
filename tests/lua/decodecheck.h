// Decoding every row of a capture with the scripts of the source tree.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "files/ovlua.h"
#include "markupcheck.h"

struct Tdecoded {
  std::shared_ptr<Tcapture> rows;
  std::vector<std::string> texts;

  // Texts of the rows whose object has this objType.
  std::vector<std::string> ofType(uint32_t objType) const {
    std::vector<std::string> out;
    for (size_t i = 0; i < rows->rowCount(); ++i)
      if (rows->rowSummary(i).objType == objType) out.push_back(texts[i]);
    return out;
  }
  // The first text of that type containing `needle`, or "".
  std::string find(uint32_t objType, const std::string& needle) const {
    return find(objType, std::initializer_list<std::string>{needle});
  }
  // The first text of that type containing all `needles`, or "".
  std::string find(uint32_t objType, std::initializer_list<std::string> needles) const {
    for (const auto& t : ofType(objType)) {
      bool all = true;
      for (const std::string& n : needles) all = all && t.find(n) != std::string::npos;
      if (all) return t;
    }
    return {};
  }
};

// Runs the scripts in the source tree over every row, given `external`
// descriptors, and checks every text: valid markup, no script error.
inline Tdecoded decodeAll(std::shared_ptr<Tcapture> rows, const TexternalDevices& external = {}) {
  TluaState lua(rows, std::filesystem::path(TWR_SOURCE_DIR) / "scripts");
  lua.setExternalDevices(external);
  Tdecoded out{rows, {}};
  if (!lua.loadError().empty()) {
    ADD_FAILURE() << lua.loadError();
    out.texts.resize(rows->rowCount());
    return out;
  }
  for (size_t i = 0; i < rows->rowCount(); ++i) {
    out.texts.push_back(lua.decodeRow(static_cast<long long>(i)));
    const std::string& t = out.texts.back();
    EXPECT_EQ(markup::problem(t), "") << "row " << i << ": " << t;
    EXPECT_EQ(t.find(".lua:"), std::string::npos) << "row " << i << ": " << t;
  }
  return out;
}
