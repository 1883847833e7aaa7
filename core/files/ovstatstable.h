// The capture statistics as one table of text cells: what the statistics
// window shows and copies, and what twr stats prints for people and scripts.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "decode/ovstats.h"

struct TstatsTable {
  struct Tcolumn {
    std::string title;  // for people
    std::string key;    // a CSV header name
  };
  // Of the whole capture only: its span, frames and resets.
  std::vector<std::pair<Tcolumn, std::string>> facts;
  std::vector<Tcolumn> columns;
  // The whole capture, then each device followed by its endpoints.
  std::vector<std::vector<std::string>> rows;
};

TstatsTable statsTable(const TcaptureStats& stats);
// The facts on one line, then the columns right-aligned under their titles.
std::string statsText(const TstatsTable& table);
// A header line and a line per row; the facts are the last columns, filled in
// the whole capture's row.
std::string statsCsv(const TstatsTable& table);
