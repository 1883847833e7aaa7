-- Builder for the decode-pane markup.
--
-- A decode text is a list of items separated by ";". An item starting with "S"
-- is a paragraph; an item starting with "T" is a table: its first line is the
-- title, the second the column headings separated by "#", each further line a
-- row with cells separated by "#". The pane drops empty pieces, so an empty
-- cell would shift the cells after it one column to the left.
--
-- Text from the bus (string descriptors, payload previews) may contain the
-- separators; they are shown as their full-width look-alikes instead.

local bytes = require "lib.bytes"

local M = {}

local SEMICOLON = "\u{FF1B}"
local HASH = "\u{FF03}"

-- Paragraph text: no ";", other control characters than newline shown as spaces.
local function paraText(s)
  s = tostring(s):gsub(";", SEMICOLON):gsub("[%z\1-\9\11-\31\127]", " ")
  return s
end

-- One table cell or title: single line, no ";" or "#", never empty.
local function cellText(s)
  s = tostring(s):gsub(";", SEMICOLON):gsub("#", HASH):gsub("[%z\1-\31\127]", " ")
  if not s:find("%S") then return "-" end
  return s
end
M.cellText = cellText

-- Rows a table keeps; the rest are only counted. A hostile capture could
-- otherwise make one decode text of gigabytes, and nobody reads that far.
M.maxTableRows = 1000

local Table = {}
Table.__index = Table

-- True once further rows are only counted.
function Table:full() return #self.rows >= M.maxTableRows end

-- Adds one row; every argument is one cell.
function Table:row(...)
  if self:full() then
    self.dropped = self.dropped + 1
    return self
  end
  local cells = table.pack(...)
  local out = {}
  for i = 1, #self.headings do out[i] = cellText(cells[i] == nil and "" or cells[i]) end
  self.rows[#self.rows + 1] = table.concat(out, "#")
  return self
end

function Table:render()
  local lines = { "T" .. cellText(self.title) }
  local heads = {}
  for i, h in ipairs(self.headings) do heads[i] = cellText(h) end
  lines[2] = table.concat(heads, "#")
  for _, r in ipairs(self.rows) do lines[#lines + 1] = r end
  if self.dropped > 0 then
    local more = string.format("%d more rows", self.dropped)
    local cells = #self.headings == 1 and { "... " .. more } or { "...", more }
    for i = 3, #self.headings do cells[i] = "-" end
    lines[#lines + 1] = table.concat(cells, "#")
  end
  return table.concat(lines, "\n")
end

local Doc = {}
Doc.__index = Doc

function M.new()
  return setmetatable({ items = {} }, Doc)
end

-- Adds a paragraph; extra arguments are string.format arguments.
function Doc:para(fmt, ...)
  local text = select("#", ...) > 0 and string.format(fmt, ...) or fmt
  self.items[#self.items + 1] = "S" .. paraText(text)
  return self
end

-- Adds a table and returns it for its rows. Default columns: field and value.
function Doc:table(title, headings)
  local t = setmetatable({ title = title, headings = headings or { "Field", "Value" }, rows = {}, dropped = 0 },
    Table)
  self.items[#self.items + 1] = t
  return t
end

-- A hex and ASCII table of d, 16 bytes a row, at most `limit` bytes (and no
-- more than a table keeps, so that its last row says how many bytes are left).
function Doc:hexdump(title, d, limit)
  limit = math.min(limit or #d, #d, (M.maxTableRows - 1) * 16)
  local t = self:table(title, { "Offset", "Bytes" })
  for i = 1, limit, 16 do
    local last = math.min(i + 15, limit)
    t:row(string.format("%04X", i - 1), bytes.hexList(d, i, last) .. "  " .. bytes.ascii(d, i, last))
  end
  if limit < #d then t:row("...", string.format("%d more bytes", #d - limit)) end
  return t
end

-- Appends the items of another document.
function Doc:append(other)
  for _, item in ipairs(other.items) do self.items[#self.items + 1] = item end
  return self
end

function Doc:text()
  local out = {}
  for i, item in ipairs(self.items) do
    out[i] = type(item) == "string" and item or item:render()
  end
  return table.concat(out, ";")
end

return M
