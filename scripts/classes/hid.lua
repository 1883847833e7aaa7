-- Human Interface Devices (Device Class Definition for HID 1.11): the HID
-- descriptor, report descriptors item by item, and the class requests.

local bytes = require "lib.bytes"
local tree = require "lib.tree"
local registry = require "lib.registry"
local descriptors = require "descriptors"
local devices = require "devices"
local hidreport = require "classes.hidreport"

local HID = 0x03
local F = descriptors.formats

local reportTypes = { [1] = "Input", [2] = "Output", [3] = "Feature" }

-- HID descriptor (class descriptor 0x21 after a HID interface).
local function hidDescriptor(doc, d, pos, last)
  if d[pos + 1] ~= 0x21 then return false end
  local t, used = descriptors.fields(doc, "HID descriptor", d, pos, last, {
    { "bLength", 1, F.len }, { "bDescriptorType", 1, F.type }, { "bcdHID", 2, F.bcd },
    { "bCountryCode", 1, function(v) return v == 0 and "0 (not localised)" or tostring(v) end },
    { "bNumDescriptors", 1, F.num },
  })
  if used < 6 then return true end
  -- Then bDescriptorType and wDescriptorLength for each class descriptor.
  local p, n = pos + 6, 0
  while p + 2 <= last do
    n = n + 1
    t:row("bDescriptorType[" .. n .. "]", F.type(d[p]))
    t:row("wDescriptorLength[" .. n .. "]", F.len(bytes.le(d, p + 1, 2)))
    p = p + 3
  end
  return true
end

-- Usage pages (HID Usage Tables 1.4) and the usages of the common ones.
local pages = {
  [0x01] = "Generic Desktop", [0x02] = "Simulation Controls", [0x03] = "VR Controls",
  [0x04] = "Sport Controls", [0x05] = "Game Controls", [0x06] = "Generic Device Controls",
  [0x07] = "Keyboard/Keypad", [0x08] = "LED", [0x09] = "Button", [0x0A] = "Ordinal",
  [0x0B] = "Telephony Device", [0x0C] = "Consumer", [0x0D] = "Digitizers", [0x0F] = "PID (force feedback)",
  [0x10] = "Unicode", [0x14] = "Auxiliary Display", [0x40] = "Medical Instrument",
  [0x59] = "Lighting and Illumination", [0x84] = "Power Device", [0x85] = "Battery System",
  [0x8C] = "Barcode Scanner", [0x8D] = "Scale", [0x8E] = "Magnetic Stripe Reader",
}

local usages = {
  [0x01] = {
    [0x01] = "Pointer", [0x02] = "Mouse", [0x04] = "Joystick", [0x05] = "Game Pad",
    [0x06] = "Keyboard", [0x07] = "Keypad", [0x08] = "Multi-axis Controller",
    [0x30] = "X", [0x31] = "Y", [0x32] = "Z", [0x33] = "Rx", [0x34] = "Ry", [0x35] = "Rz",
    [0x36] = "Slider", [0x37] = "Dial", [0x38] = "Wheel", [0x39] = "Hat switch",
    [0x3D] = "Start", [0x3E] = "Select", [0x80] = "System Control", [0x81] = "System Power Down",
    [0x82] = "System Sleep", [0x83] = "System Wake Up",
  },
  [0x08] = {
    [0x01] = "Num Lock", [0x02] = "Caps Lock", [0x03] = "Scroll Lock", [0x04] = "Compose", [0x05] = "Kana",
  },
  [0x0C] = {
    [0x01] = "Consumer Control", [0xB0] = "Play", [0xB1] = "Pause", [0xB3] = "Fast Forward",
    [0xB4] = "Rewind", [0xB5] = "Scan Next Track", [0xB6] = "Scan Previous Track",
    [0xB7] = "Stop", [0xCD] = "Play/Pause", [0xE2] = "Mute", [0xE9] = "Volume Increment",
    [0xEA] = "Volume Decrement", [0x183] = "AL Consumer Control Configuration", [0x18A] = "AL Email Reader",
    [0x192] = "AL Calculator", [0x194] = "AL Local Machine Browser", [0x221] = "AC Search",
    [0x223] = "AC Home", [0x224] = "AC Back", [0x225] = "AC Forward", [0x227] = "AC Refresh",
    [0x22A] = "AC Bookmarks", [0x238] = "AC Pan",
  },
}

local function pageName(p)
  if p >= 0xFF00 then return "Vendor-defined" end
  return pages[p] or "unknown page"
end

local keys = {
  [0x28] = "Enter", [0x29] = "Escape", [0x2A] = "Backspace", [0x2B] = "Tab", [0x2C] = "Space",
  [0x39] = "Caps Lock", [0x4F] = "Right Arrow", [0x50] = "Left Arrow", [0x51] = "Down Arrow", [0x52] = "Up Arrow",
}

local function usageName(page, u)
  if page == 0x09 then return u == 0 and "No button pressed" or "Button " .. u end
  if page == 0x0A then return "Instance " .. u end
  if page == 0x07 then
    if u >= 0x04 and u <= 0x1D then return "Keyboard " .. string.char(0x41 + u - 0x04) end
    if u >= 0x1E and u <= 0x27 then return "Keyboard " .. (u - 0x1D) % 10 end
    if u >= 0x3A and u <= 0x45 then return "Keyboard F" .. (u - 0x39) end
    if keys[u] then return "Keyboard " .. keys[u] end
    if u >= 0xE0 and u <= 0xE7 then
      return ({ "Left Control", "Left Shift", "Left Alt", "Left GUI", "Right Control", "Right Shift",
        "Right Alt", "Right GUI" })[u - 0xDF]
    end
  end
  local names = usages[page]
  return names and names[u] or string.format("usage 0x%02X", u)
end

local collectionTypes = {
  [0] = "Physical", "Application", "Logical", "Report", "Named Array", "Usage Switch", "Usage Modifier",
}

-- The bits of an Input, Output or Feature item, low bit first.
local mainBits = {
  { "Data", "Constant" }, { "Array", "Variable" }, { "Absolute", "Relative" }, { "No Wrap", "Wrap" },
  { "Linear", "Non Linear" }, { "Preferred State", "No Preferred" }, { "No Null position", "Null state" },
  { "Non Volatile", "Volatile" }, { "Bit Field", "Buffered Bytes" },
}

local function mainFlags(v, isInput)
  local parts = {}
  for i, pair in ipairs(mainBits) do
    -- Bit 7 is reserved for Input items.
    if not (isInput and i == 8) then parts[#parts + 1] = pair[((v >> (i - 1)) & 1) + 1] end
  end
  return table.concat(parts, ", ")
end

local function signed(v, size)
  if size == 0 then return 0 end
  local bits = size * 8
  if v >= (1 << (bits - 1)) then return v - (1 << bits) end
  return v
end

local unitSystems = { [0] = "None", "SI Linear", "SI Rotation", "English Linear", "English Rotation" }

local mainTags = { [0x8] = "Input", [0x9] = "Output", [0xB] = "Feature", [0xA] = "Collection", [0xC] = "End Collection" }
local globalTags = {
  [0x0] = "Usage Page", [0x1] = "Logical Minimum", [0x2] = "Logical Maximum", [0x3] = "Physical Minimum",
  [0x4] = "Physical Maximum", [0x5] = "Unit Exponent", [0x6] = "Unit", [0x7] = "Report Size",
  [0x8] = "Report ID", [0x9] = "Report Count", [0xA] = "Push", [0xB] = "Pop",
}
local localTags = {
  [0x0] = "Usage", [0x1] = "Usage Minimum", [0x2] = "Usage Maximum", [0x3] = "Designator Index",
  [0x4] = "Designator Minimum", [0x5] = "Designator Maximum", [0x7] = "String Index",
  [0x8] = "String Minimum", [0x9] = "String Maximum", [0xA] = "Delimiter",
}

-- One short item: its name and meaning, given the parser state.
local function describe(itemType, tag, v, size, st)
  if itemType == 0 then
    local name = mainTags[tag] or string.format("Main item 0x%X", tag)
    if tag == 0x8 or tag == 0x9 or tag == 0xB then return name, mainFlags(v, tag == 0x8) end
    if tag == 0xA then
      local kind = collectionTypes[v] or (v >= 0x80 and "Vendor-defined" or "Reserved")
      return name, string.format("%s (0x%02X)", kind, v)
    end
    return name, ""
  elseif itemType == 1 then
    local name = globalTags[tag] or string.format("Global item 0x%X", tag)
    if tag == 0x0 then
      st.page = v
      return name, string.format("%s (0x%02X)", pageName(v), v)
    end
    if tag >= 0x1 and tag <= 0x4 then return name, tostring(signed(v, size)) end
    if tag == 0x5 then
      local e = v & 0xF  -- a signed nibble
      return name, tostring(e >= 8 and e - 16 or e)
    end
    if tag == 0x6 then return name, string.format("0x%X (%s)", v, unitSystems[v & 0xF] or "Reserved") end
    if tag == 0x7 then return name, v .. " bits" end
    return name, tostring(v)
  elseif itemType == 2 then
    local name = localTags[tag] or string.format("Local item 0x%X", tag)
    if tag <= 0x2 then
      -- A 4-byte usage carries its own page in the high half.
      local page, u = st.page or 0, v
      if size == 4 then page, u = v >> 16, v & 0xFFFF end
      return name, string.format("%s (0x%02X)", usageName(page, u), u)
    end
    if tag == 0xA then return name, v == 1 and "Open set" or "Close set" end
    return name, tostring(v)
  end
  return string.format("Reserved item 0x%X", tag), tostring(v)
end

-- The reports a descriptor defines, their fields and sizes.
local function layoutSummary(doc, layout)
  local ids = {}
  for id in pairs(layout.reports) do ids[#ids + 1] = id end
  table.sort(ids)
  local t = doc:table(string.format("Reports (%d fields)", layout.fields), { "Report", "Fields", "Size" })
  for _, id in ipairs(ids) do
    local r = layout.reports[id]
    for _, kind in ipairs({ "input", "output", "feature" }) do
      if r[kind] then
        t:row(layout.usesIds and string.format("%s %d", kind, id) or kind, #r[kind],
          string.format("%d bits", r.bits[kind]))
      end
    end
  end
end

local function usageOf32(usage) return usageName(usage >> 16, usage & 0xFFFF) end

-- An interrupt report on an endpoint of a HID interface, decoded with the
-- report descriptor the host read from that interface.
local function report(doc, d, trx)
  local addr, endp = tree.address(trx)
  if not addr then return nil end
  local epAddr = trx.subType == "IN" and (endp | 0x80) or endp
  local iface, class = devices.endpointOwner(addr, epAddr, trx.handle)
  if class ~= HID then return nil end
  local layout = devices.reportLayout(addr, iface, trx.handle)
  if not layout then return nil end
  return hidreport.decode(doc, layout, trx.subType == "IN" and "input" or "output", d, usageOf32)
end

-- The report of GET_REPORT or SET_REPORT, with the interface's layout when the capture has it.
local function controlReport(doc, req, d)
  doc:hexdump("Report", d)
  local layout = req.addr and devices.reportLayout(req.addr, req.wIndex & 0xFF, req.row)
  local kind = ({ "input", "output", "feature" })[req.wValue >> 8]
  if layout and kind then hidreport.decode(doc, layout, kind, d, usageOf32) end
end

-- Data bytes of a short item by the low two bits of its prefix.
local ITEM_SIZES = { [0] = 0, 1, 2, 4 }

-- Follows the collection depth over one item.
local function nest(itemType, tag, st)
  if itemType ~= 0 then return end
  if tag == 0xA then st.depth = st.depth + 1 end
  if tag == 0xC then st.depth = math.max(st.depth - 1, 0) end
end

-- Collections deeper than this are not indented further but marked with their
-- depth, so that a hostile descriptor cannot make its text grow with the square
-- of its nesting.
local INDENTED_DEPTH = 8

local function indentFor(depth)
  if depth <= INDENTED_DEPTH then return string.rep("  ", depth) end
  return string.rep("  ", INDENTED_DEPTH) .. string.format("[depth %d] ", depth)
end

-- A report descriptor, one table row per item, indented by collection depth.
local function reportDescriptor(doc, _, d)
  local t = doc:table(string.format("HID report descriptor (%d bytes)", #d), { "Bytes", "Item" })
  local st = { depth = 0 }
  local deepest = 0
  local pos = 1
  while pos <= #d do
    local prefix = d[pos]
    if prefix == 0xFE then
      -- Long item: bDataSize, bLongItemTag, then the data.
      local size, tag = d[pos + 1], d[pos + 2]
      if not size or not tag or pos + 2 + size > #d then
        doc:para("Truncated: a long item at offset %d runs past the end of the descriptor.", pos - 1)
        return
      end
      t:row(bytes.hexList(d, pos, math.min(pos + 7, pos + 2 + size)),
        string.format("%sLong item 0x%02X (%d data bytes)", indentFor(st.depth), tag, size))
      pos = pos + 3 + size
    else
      local size = ITEM_SIZES[prefix & 3]
      if pos + size > #d then
        doc:para("Truncated: the item at offset %d needs %d data bytes but only %d remain.",
          pos - 1, size, #d - pos)
        return
      end
      local itemType, tag, depth = (prefix >> 2) & 3, prefix >> 4, st.depth
      nest(itemType, tag, st)
      if t:full() then
        t:row()  -- only counted: past what the table shows, the nesting is all that is followed
      else
        local name, meaning = describe(itemType, tag, bytes.le(d, pos + 1, size) or 0, size, st)
        -- A Collection sits at the outer depth, End Collection at the outer one too.
        local indent = indentFor(math.min(depth, st.depth))
        t:row(bytes.hexList(d, pos, pos + size), indent .. name .. (meaning ~= "" and ": " .. meaning or ""))
      end
      deepest = math.max(deepest, st.depth)
      pos = pos + 1 + size
    end
  end
  if st.depth > 0 then doc:para("%d collection(s) not closed by End Collection.", st.depth) end
  if deepest > INDENTED_DEPTH then
    doc:para("Collections nest %d deep; items below depth %d are marked with their depth instead of indented.",
      deepest, INDENTED_DEPTH)
  end
  layoutSummary(doc, hidreport.parse(d))
end

local function reportValue(req)
  local kind, id = req.wValue >> 8, req.wValue & 0xFF
  return string.format("%s report, report ID %d", reportTypes[kind] or "reserved type " .. kind, id)
end

local function iface(req) return "interface " .. (req.wIndex & 0xFF) end

local function idleValue(req)
  local dur, id = req.wValue >> 8, req.wValue & 0xFF
  local rate = dur == 0 and "indefinite: report only on change" or string.format("%d ms", dur * 4)
  return string.format("duration %s, %s", rate, id == 0 and "all reports" or "report ID " .. id)
end

local protocols = { [0] = "Boot Protocol", [1] = "Report Protocol" }

registry.classRequests[HID] = {
  name = "HID",
  [0x01] = { name = "GET_REPORT", dir = 1, value = reportValue, index = iface, data = controlReport },
  [0x02] = { name = "GET_IDLE", dir = 1, value = function(req) return "report ID " .. (req.wValue & 0xFF) end,
    index = iface, data = function(doc, _, d)
      if d[1] then doc:table("Returned"):row("Idle rate", d[1] == 0 and "0 (indefinite)" or (d[1] * 4) .. " ms") end
    end },
  [0x03] = { name = "GET_PROTOCOL", dir = 1, index = iface, data = function(doc, _, d)
      if d[1] then doc:table("Returned"):row("Protocol", protocols[d[1]] or tostring(d[1])) end
    end },
  [0x09] = { name = "SET_REPORT", dir = 0, value = reportValue, index = iface, data = controlReport },
  [0x0A] = { name = "SET_IDLE", dir = 0, value = idleValue, index = iface },
  [0x0B] = { name = "SET_PROTOCOL", dir = 0, value = function(req)
      return protocols[req.wValue] or "reserved " .. req.wValue
    end, index = iface },
}

registry.classDescriptors[HID] = hidDescriptor
registry.payloadDecoders[#registry.payloadDecoders + 1] = report
registry.descriptorStages[0x22] = reportDescriptor
-- GET_DESCRIPTOR(HID) returns the HID descriptor alone.
registry.descriptorStages[0x21] = function(doc, _, d)
  if #d >= 2 then hidDescriptor(doc, d, 1, math.min(#d, d[1] >= 2 and d[1] or #d)) end
end

return {}
