#include "files/ovstatstable.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

constexpr double ticksPerSecond = 1e6 * ticksPerMicrosecond;

std::string number(uint64_t n) { return std::to_string(n); }

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string percent(double share) { return fixed(100 * share, 2); }

std::string seconds(uint64_t ticks) { return fixed(static_cast<double>(ticks) / ticksPerSecond, 6); }

// "illegal PID" -> "errors_illegal_pid"
std::string errorKey(const char* name) {
  std::string key = "errors_";
  for (const char* c = name; *c; ++c) key += *c == ' ' ? '_' : static_cast<char>(std::tolower(*c));
  return key;
}

std::string errorTitle(const char* name) {
  std::string title = name;
  title[0] = static_cast<char>(std::toupper(title[0]));
  return title;
}

std::vector<TstatsTable::Tcolumn> columns() {
  std::vector<TstatsTable::Tcolumn> all = {{"Device", "device"},
                                           {"Resets before", "resets_before"},
                                           {"Endpoint", "endpoint"},
                                           {"Transactions", "transactions"},
                                           {"ACK", "ack"},
                                           {"NAK", "nak"},
                                           {"STALL", "stall"},
                                           {"No answer", "no_answer"},
                                           {"Packets", "packets"},
                                           {"Bytes in", "bytes_in"},
                                           {"Bytes out", "bytes_out"},
                                           {"Transfers", "transfers"},
                                           {"Errors", "errors"}};
  for (const TerrorFlag& flag : errorFlags) all.push_back({errorTitle(flag.name), errorKey(flag.name)});
  all.push_back({"Mean use %", "mean_use_percent"});
  all.push_back({"Peak use %", "peak_use_percent"});
  return all;
}

std::vector<std::string> row(std::string device, std::string resets, std::string endpoint,
                             const TtrafficStats& t, uint64_t spanTicks) {
  std::vector<std::string> cells = {std::move(device),        std::move(resets),  std::move(endpoint),
                                    number(t.transactions()), number(t.ack),      number(t.nak),
                                    number(t.stall),          number(t.noAnswer), number(t.packets),
                                    number(t.bytesIn),        number(t.bytesOut), number(t.transfers),
                                    number(t.errorCount())};
  for (uint64_t n : t.errors) cells.push_back(number(n));
  cells.push_back(percent(t.meanUse(spanTicks)));
  cells.push_back(percent(t.peakUse()));
  return cells;
}

}  // namespace

TstatsTable statsTable(const TcaptureStats& stats) {
  TstatsTable table;
  table.facts = {{{"Span (s)", "span_s"}, seconds(stats.spanTicks())},
                 {{"From (s)", "first_s"}, seconds(stats.firstTime)},
                 {{"Frames", "frames"}, number(stats.frames)},
                 {{"Resets", "resets"}, number(stats.resets)}};
  table.columns = columns();
  const uint64_t span = stats.spanTicks();
  table.rows.push_back(row("all", "", "", stats.traffic, span));
  for (const TdeviceStats& device : stats.devices) {
    const std::string address = number(device.key.address);
    const std::string resets = number(device.key.resetsBefore);
    table.rows.push_back(row(address, resets, "all", device.traffic, span));
    for (const TendpointStats& endpoint : device.endpoints)
      table.rows.push_back(row(address, resets, number(endpoint.endpoint), endpoint.traffic, span));
  }
  return table;
}

std::string statsText(const TstatsTable& table) {
  std::string text;
  for (const auto& [column, value] : table.facts) {
    text += text.empty() ? "" : ", ";
    text += column.title + ": " + value;
  }
  text += '\n';
  std::vector<std::size_t> widths;
  for (const auto& column : table.columns) widths.push_back(column.title.size());
  for (const auto& cells : table.rows)
    for (std::size_t c = 0; c < cells.size(); ++c) widths[c] = std::max(widths[c], cells[c].size());
  const auto putLine = [&](const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      if (c > 0) line += "  ";
      line += std::string(widths[c] - cells[c].size(), ' ') + cells[c];
    }
    text += line + '\n';
  };
  std::vector<std::string> titles;
  for (const auto& column : table.columns) titles.push_back(column.title);
  putLine(titles);
  for (const auto& cells : table.rows) putLine(cells);
  return text;
}

std::string statsCsv(const TstatsTable& table) {
  std::string csv;
  const auto putLine = [&](const std::vector<std::string>& cells) {
    for (std::size_t c = 0; c < cells.size(); ++c) csv += (c ? "," : "") + cells[c];
    csv += '\n';
  };
  std::vector<std::string> keys;
  for (const auto& column : table.columns) keys.push_back(column.key);
  for (const auto& fact : table.facts) keys.push_back(fact.first.key);
  putLine(keys);
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    std::vector<std::string> cells = table.rows[r];
    for (const auto& fact : table.facts) cells.push_back(r == 0 ? fact.second : "");
    putLine(cells);
  }
  return csv;
}
