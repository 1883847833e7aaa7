-- HID report descriptors as report layouts (HID 1.11 section 6.2.2), and
-- reports decoded field by field against them.

local bytes = require "lib.bytes"

local M = {}

-- Data bytes of a short item by the low two bits of its prefix.
local ITEM_SIZES = { [0] = 0, 1, 2, 4 }

local KINDS = { [0x8] = "input", [0x9] = "output", [0xB] = "feature" }

local function signed(v, size)
  local bits = size * 8
  if bits > 0 and v >= (1 << (bits - 1)) then return v - (1 << bits) end
  return v
end

local function copy(t)
  local c = {}
  for k, v in pairs(t) do c[k] = v end
  return c
end

-- The report layouts of a report descriptor: layout.reports[id][kind] is the
-- list of fields of that report (id 0 when the descriptor uses no report
-- IDs), each { offset, size, count (bits), constant, variable, page,
-- usages, usageMin, usageMax, logicalMin }; layout.fields counts the main
-- items; layout.usesIds tells whether reports start with their ID byte.
-- layout.problem names the first thing that stopped the parse, if any.
function M.parse(d)
  local layout = { reports = {}, fields = 0, usesIds = false }
  local global = { page = 0, logicalMin = 0, size = 0, count = 0, id = 0 }
  local stack = {}
  local locals = { usages = {} }
  local pos = 1
  while pos <= #d do
    local prefix = d[pos]
    if prefix == 0xFE then
      local size = d[pos + 1] or 0
      pos = pos + 3 + size
    else
      local size = ITEM_SIZES[prefix & 3]
      if pos + size > #d then
        layout.problem = string.format("the item at offset %d is cut off", pos - 1)
        return layout
      end
      local v = bytes.le(d, pos + 1, size) or 0
      local itemType, tag = (prefix >> 2) & 3, prefix >> 4
      if itemType == 0 then
        local kind = KINDS[tag]
        if kind then
          local report = layout.reports[global.id] or { bits = {} }
          layout.reports[global.id] = report
          report[kind] = report[kind] or {}
          local offset = report.bits[kind] or 0
          report[kind][#report[kind] + 1] = {
            offset = offset, size = global.size, count = global.count, constant = (v & 1) ~= 0,
            variable = (v & 2) ~= 0, page = global.page, usages = locals.usages,
            usageMin = locals.usageMin, usageMax = locals.usageMax, logicalMin = global.logicalMin,
          }
          report.bits[kind] = offset + global.size * global.count
          layout.fields = layout.fields + 1
        end
        locals = { usages = {} }
      elseif itemType == 1 then
        if tag == 0x0 then global.page = v
        elseif tag == 0x1 then global.logicalMin = signed(v, size)
        elseif tag == 0x7 then global.size = v
        elseif tag == 0x8 then
          global.id = v
          layout.usesIds = true
        elseif tag == 0x9 then global.count = v
        elseif tag == 0xA then stack[#stack + 1] = copy(global)
        elseif tag == 0xB and #stack > 0 then global = table.remove(stack)
        end
      elseif itemType == 2 then
        -- A 4-byte usage carries its page; a shorter one takes the global page.
        local usage = size == 4 and v or ((global.page << 16) | v)
        if tag == 0x0 then locals.usages[#locals.usages + 1] = usage
        elseif tag == 0x1 then locals.usageMin = usage
        elseif tag == 0x2 then locals.usageMax = usage
        end
      end
      pos = pos + 1 + size
    end
  end
  return layout
end

-- Bits offset..offset+size-1 of d (little-endian, bit 0 of byte 1 first).
local function bitsAt(d, offset, size)
  local v = 0
  for i = size - 1, 0, -1 do
    local bit = offset + i
    local b = d[bit // 8 + 1]
    if b == nil then return nil end
    v = (v << 1) | ((b >> (bit % 8)) & 1)
  end
  return v
end

-- The usage of value i (0-based) of a field: the listed usages in order (the
-- last repeats), else the usage range.
local function usageOf(field, i)
  if #field.usages > 0 then return field.usages[math.min(i + 1, #field.usages)] end
  if field.usageMin then return field.usageMin + i end
  return nil
end

-- Decodes report d of `kind` ("input", "output") with layout into a table of
-- the document; name(usage) gives a usage's name. Returns a summary or nil.
function M.decode(doc, layout, kind, d, name)
  local id, body = 0, d
  if layout.usesIds then
    id = d[1]
    body = bytes.slice(d, 2)
  end
  local report = layout.reports[id]
  local fields = report and report[kind]
  if not fields then return nil end
  local title = layout.usesIds and string.format("HID %s report %d", kind, id) or "HID " .. kind .. " report"
  local t = doc:table(title, { "Usage", "Value" })
  local pressed = {}
  for _, f in ipairs(fields) do
    if not f.constant and f.size > 0 and f.size <= 32 then
      for i = 0, f.count - 1 do
        local raw = bitsAt(body, f.offset + i * f.size, f.size)
        if raw == nil then
          doc:para("The report is shorter than its layout (%d bits).", report.bits[kind])
          return title
        end
        if f.variable then
          -- A field whose logical minimum is negative holds two's complement values.
          local value = raw
          if f.logicalMin < 0 and raw >= (1 << (f.size - 1)) then value = raw - (1 << f.size) end
          local u = usageOf(f, i)
          t:row(u and name(u) or "(no usage)", value)
        elseif raw ~= 0 then
          -- An array holds indexes into its usages; 0 is "no control".
          local u = f.usageMin and f.usageMin + raw - f.logicalMin or usageOf(f, raw - f.logicalMin)
          if u then pressed[#pressed + 1] = name(u) end
        end
      end
    end
  end
  if #pressed > 0 then t:row("Pressed", table.concat(pressed, ", ")) end
  return title
end

return M
