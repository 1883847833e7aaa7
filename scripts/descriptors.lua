-- Standard USB descriptors (USB 2.0 chapter 9), as returned in the data stage
-- of GET_DESCRIPTOR. A data stage is a sequence of descriptors, each starting
-- with bLength and bDescriptorType; class-specific descriptors inside a
-- configuration are handed to the class of the interface they follow.

local bytes = require "lib.bytes"
local registry = require "lib.registry"

local D = {}

D.typeNames = {
  [0x01] = "DEVICE", [0x02] = "CONFIGURATION", [0x03] = "STRING", [0x04] = "INTERFACE",
  [0x05] = "ENDPOINT", [0x06] = "DEVICE_QUALIFIER", [0x07] = "OTHER_SPEED_CONFIGURATION",
  [0x08] = "INTERFACE_POWER", [0x09] = "OTG", [0x0A] = "DEBUG", [0x0B] = "INTERFACE_ASSOCIATION",
  [0x0F] = "BOS", [0x10] = "DEVICE_CAPABILITY", [0x21] = "HID", [0x22] = "REPORT",
  [0x23] = "PHYSICAL", [0x24] = "CS_INTERFACE", [0x25] = "CS_ENDPOINT",
}

function D.typeName(t)
  return D.typeNames[t] or string.format("type 0x%02X", t)
end

-- Base class codes (usb.org "Defined Class Codes").
D.classNames = {
  [0x00] = "defined by the interfaces", [0x01] = "Audio", [0x02] = "Communications (CDC)",
  [0x03] = "HID", [0x05] = "Physical", [0x06] = "Image", [0x07] = "Printer",
  [0x08] = "Mass Storage", [0x09] = "Hub", [0x0A] = "CDC Data", [0x0B] = "Smart Card",
  [0x0D] = "Content Security", [0x0E] = "Video", [0x0F] = "Personal Healthcare",
  [0x10] = "Audio/Video", [0x11] = "Billboard", [0x12] = "USB Type-C Bridge",
  [0xDC] = "Diagnostic", [0xE0] = "Wireless Controller", [0xEF] = "Miscellaneous",
  [0xFE] = "Application Specific", [0xFF] = "Vendor Specific",
}

-- Subclass and protocol names of the classes this package knows, keyed
-- class * 65536 + subclass * 256 + protocol, or class * 256 + subclass for the subclass alone.
local subclassNames = {
  [0x0301] = "Boot Interface",
  [0x0202] = "Abstract Control Model", [0x0206] = "Ethernet Networking Control Model",
  [0x020D] = "Network Control Model",
  [0x0101] = "Audio Control", [0x0102] = "Audio Streaming", [0x0103] = "MIDI Streaming",
  [0x0801] = "RBC", [0x0802] = "MMC-5 (ATAPI)", [0x0804] = "UFI", [0x0805] = "SFF-8070i",
  [0x0806] = "SCSI transparent command set", [0xFE01] = "Device Firmware Upgrade",
}
local protocolNames = {
  [0x010120] = "Audio 2.0", [0x010220] = "Audio 2.0",
  [0x030101] = "Keyboard", [0x030102] = "Mouse",
  [0x020201] = "AT commands (V.250)",
  [0x080600] = "Control/Bulk/Interrupt", [0x080601] = "Control/Bulk", [0x080650] = "Bulk-Only Transport",
  [0x080662] = "USB Attached SCSI", [0xFE0101] = "DFU run-time", [0xFE0102] = "DFU mode",
}

local function className(v)
  return string.format("0x%02X (%s)", v, D.classNames[v] or "unknown")
end

-- Language IDs seen on USB devices (USB-IF "Language Identifiers").
D.languages = {
  [0x0409] = "English (United States)", [0x0809] = "English (United Kingdom)",
  [0x0407] = "German (Standard)", [0x040C] = "French (Standard)", [0x0410] = "Italian (Standard)",
  [0x0C0A] = "Spanish (Modern Sort)", [0x0416] = "Portuguese (Brazil)", [0x0419] = "Russian",
  [0x0411] = "Japanese", [0x0412] = "Korean", [0x0804] = "Chinese (PRC)", [0x0404] = "Chinese (Taiwan)",
  [0x0413] = "Dutch (Netherlands)", [0x041D] = "Swedish", [0x0415] = "Polish",
}

function D.language(id)
  return string.format("0x%04X (%s)", id, D.languages[id] or "unknown language")
end

-- Value formatters for field lists.
local F = {}
D.formats = F
function F.num(v) return tostring(v) end
function F.hex2(v) return bytes.hex2(v) end
function F.hex4(v) return bytes.hex4(v) end
function F.bcd(v) return string.format("0x%04X (%X.%02X)", v, v >> 8, v & 0xFF) end
function F.len(v) return string.format("%d bytes", v) end
function F.type(v) return string.format("0x%02X (%s)", v, D.typeName(v)) end
-- The string lookup of the walk in progress (see D.walk).
local stringText = function() return nil end
function F.str(v)
  if v == 0 then return "0 (no string)" end
  local text = stringText(v)
  return text and string.format('%d ("%s")', v, text) or tostring(v)
end
F.class = className

-- Decodes a field list into a new table and returns the table and the number
-- of bytes decoded. Each field: { name, size in bytes, formatter }.
-- Stops at the first field that does not fit before `last`.
function D.fields(doc, title, d, pos, last, list)
  local t = doc:table(title)
  local p = pos
  for _, f in ipairs(list) do
    local name, size, fmt = f[1], f[2], f[3]
    if p + size - 1 > last then return t, p - pos, false end
    local v = bytes.le(d, p, size)
    t:row(name, fmt(v, d, p))
    p = p + size
  end
  return t, p - pos, true
end

local head = { { "bLength", 1, F.len }, { "bDescriptorType", 1, F.type } }

-- Appends fields to the standard two-byte head.
local function layout(list)
  local all = { head[1], head[2] }
  for _, f in ipairs(list) do all[#all + 1] = f end
  return all
end

local deviceFields = layout {
  { "bcdUSB", 2, F.bcd },
  { "bDeviceClass", 1, F.class },
  { "bDeviceSubClass", 1, F.hex2 },
  { "bDeviceProtocol", 1, F.hex2 },
  { "bMaxPacketSize0", 1, function(v) return string.format("%d bytes (endpoint 0)", v) end },
  { "idVendor", 2, F.hex4 },
  { "idProduct", 2, F.hex4 },
  { "bcdDevice", 2, F.bcd },
  { "iManufacturer", 1, F.str },
  { "iProduct", 1, F.str },
  { "iSerialNumber", 1, F.str },
  { "bNumConfigurations", 1, F.num },
}

local function configAttributes(v)
  local parts = {}
  parts[#parts + 1] = (v & 0x40) ~= 0 and "self-powered" or "bus-powered"
  if (v & 0x20) ~= 0 then parts[#parts + 1] = "remote wakeup" end
  if (v & 0x80) == 0 then parts[#parts + 1] = "bit 7 not set (must be 1)" end
  return string.format("0x%02X (%s)", v, table.concat(parts, ", "))
end

local configFields = layout {
  { "wTotalLength", 2, F.len },
  { "bNumInterfaces", 1, F.num },
  { "bConfigurationValue", 1, F.num },
  { "iConfiguration", 1, F.str },
  { "bmAttributes", 1, configAttributes },
  { "bMaxPower", 1, function(v) return string.format("%d (%d mA)", v, v * 2) end },
}

local qualifierFields = layout {
  { "bcdUSB", 2, F.bcd },
  { "bDeviceClass", 1, F.class },
  { "bDeviceSubClass", 1, F.hex2 },
  { "bDeviceProtocol", 1, F.hex2 },
  { "bMaxPacketSize0", 1, F.len },
  { "bNumConfigurations", 1, F.num },
  { "bReserved", 1, F.hex2 },
}

local iadFields = layout {
  { "bFirstInterface", 1, F.num },
  { "bInterfaceCount", 1, F.num },
  { "bFunctionClass", 1, F.class },
  { "bFunctionSubClass", 1, F.hex2 },
  { "bFunctionProtocol", 1, F.hex2 },
  { "iFunction", 1, F.str },
}

local transferTypes = { [0] = "Control", "Isochronous", "Bulk", "Interrupt" }
local syncTypes = { [0] = "no synchronisation", "asynchronous", "adaptive", "synchronous" }
local usageTypes = { [0] = "data", "feedback", "implicit feedback data", "reserved" }

function D.endpointAddress(v)
  return string.format("0x%02X (endpoint %d %s)", v, v & 0x0F, (v & 0x80) ~= 0 and "IN" or "OUT")
end

local function endpointAttributes(v)
  local kind = transferTypes[v & 3]
  if (v & 3) == 1 then
    kind = string.format("%s, %s, %s", kind, syncTypes[(v >> 2) & 3], usageTypes[(v >> 4) & 3])
  end
  return string.format("0x%02X (%s)", v, kind)
end

local function maxPacket(v)
  local extra = (v >> 11) & 3
  local text = string.format("0x%04X (%d bytes", v, v & 0x7FF)
  if extra > 0 then text = text .. string.format(", %d extra transactions per microframe", extra) end
  return text .. ")"
end

local endpointFields = layout {
  { "bEndpointAddress", 1, D.endpointAddress },
  { "bmAttributes", 1, endpointAttributes },
  { "wMaxPacketSize", 2, maxPacket },
  { "bInterval", 1, F.num },
}

-- Interface descriptor; remembers the interface class for the class-specific
-- descriptors that follow it.
local function interface(doc, d, pos, last, state)
  local class, sub = d[pos + 5], d[pos + 6]
  local title = "Interface descriptor"
  if d[pos + 2] and d[pos + 3] then
    title = string.format("Interface %d, alternate setting %d", d[pos + 2], d[pos + 3])
  end
  local fields = layout {
    { "bInterfaceNumber", 1, F.num },
    { "bAlternateSetting", 1, F.num },
    { "bNumEndpoints", 1, F.num },
    { "bInterfaceClass", 1, F.class },
    { "bInterfaceSubClass", 1, function(v)
        local n = class and subclassNames[(class << 8) | v]
        return n and string.format("0x%02X (%s)", v, n) or bytes.hex2(v)
      end },
    { "bInterfaceProtocol", 1, function(v)
        local n = class and sub and protocolNames[(class << 16) | (sub << 8) | v]
        return n and string.format("0x%02X (%s)", v, n) or bytes.hex2(v)
      end },
    { "iInterface", 1, F.str },
  }
  local t = D.fields(doc, title, d, pos, last, fields)
  state.class, state.subclass, state.protocol = class, sub, d[pos + 7]
  -- Interface association descriptors group interfaces into one function.
  for i, f in ipairs(state.functions) do
    local n = d[pos + 2]
    if n and n >= f.first and n < f.first + f.count then
      t:row("Function", string.format("%d of the configuration: interfaces %d to %d, %s", i, f.first,
        f.first + f.count - 1, D.classNames[f.class] or "class " .. bytes.hex2(f.class)))
    end
  end
end

local function endpoint(doc, d, pos, last)
  local title = d[pos + 2] and "Endpoint " .. D.endpointAddress(d[pos + 2]) or "Endpoint descriptor"
  local t, used = D.fields(doc, title, d, pos, last, endpointFields)
  -- Audio 1.0 endpoints carry two more bytes.
  if used == 7 and last >= pos + 8 then
    t:row("bRefresh", d[pos + 7])
    t:row("bSynchAddress", bytes.hex2(d[pos + 8]))
  end
end

-- String descriptor: language IDs for index 0, else UTF-16LE text.
local function stringDesc(doc, d, pos, last, state)
  local t = D.fields(doc, "String descriptor", d, pos, last, head)
  if state.stringIndex == 0 then
    local n = 0
    for p = pos + 2, last - 1, 2 do
      n = n + 1
      t:row("wLANGID[" .. (n - 1) .. "]", D.language(bytes.le(d, p, 2)))
    end
    if n == 0 then t:row("wLANGID", "none listed") end
  else
    local text, odd = bytes.utf16le(d, pos + 2, last)
    t:row("bString", '"' .. text .. '"')
    if state.stringIndex then t:row("Index", state.stringIndex) end
    if odd then doc:para("The string has an odd number of bytes, the last byte is ignored.") end
  end
end

local function uuid(d, p)
  if p + 15 > #d then return nil end
  -- The first three groups are little-endian on the bus.
  return string.format("{%08X-%04X-%04X-%s-%s}", bytes.le(d, p, 4), bytes.le(d, p + 4, 2),
    bytes.le(d, p + 6, 2), (bytes.hexList(d, p + 8, p + 9):gsub(" ", "")), (bytes.hexList(d, p + 10, p + 15):gsub(" ", "")))
end

local platforms = {
  ["{D8DD60DF-4589-4CC7-9CD2-659D9E648A9F}"] = "Microsoft OS 2.0 descriptors",
  ["{3408B638-09A9-47A0-8BFD-A0768815B665}"] = "WebUSB",
}

local capabilityNames = {
  [0x01] = "Wireless USB", [0x02] = "USB 2.0 Extension", [0x03] = "SuperSpeed USB",
  [0x04] = "Container ID", [0x05] = "Platform", [0x0A] = "SuperSpeedPlus USB",
  [0x0D] = "Billboard",
}

local function capability(doc, d, pos, last)
  local kind = d[pos + 2]
  local name = kind and (capabilityNames[kind] or string.format("capability 0x%02X", kind)) or "capability"
  local t, used = D.fields(doc, "Device capability: " .. name, d, pos, last,
    layout { { "bDevCapabilityType", 1, function(v) return string.format("0x%02X (%s)", v, name) end } })
  if used < 3 then return end
  if kind == 0x02 and last >= pos + 6 then
    local v = bytes.le(d, pos + 3, 4)
    t:row("bmAttributes", string.format("0x%08X (LPM %s)", v, (v & 2) ~= 0 and "supported" or "not supported"))
  elseif kind == 0x04 and uuid(d, pos + 4) and last >= pos + 19 then
    t:row("ContainerID", uuid(d, pos + 4))
  elseif kind == 0x05 and last >= pos + 19 then
    local id = uuid(d, pos + 4)
    t:row("PlatformCapabilityUUID", id .. (platforms[id] and " (" .. platforms[id] .. ")" or ""))
    if last >= pos + 20 then t:row("CapabilityData", bytes.hexList(d, pos + 20, last)) end
  elseif last >= pos + 3 then
    t:row("Data", bytes.hexList(d, pos + 3, last))
  end
end

local bosFields = layout { { "wTotalLength", 2, F.len }, { "bNumDeviceCaps", 1, F.num } }

-- Anything without a decoder of its own: the head and the raw bytes.
local function generic(doc, d, pos, last, typ)
  local t = D.fields(doc, "Descriptor " .. D.typeName(typ), d, pos, last, head)
  if last >= pos + 2 then t:row("Data", bytes.hexList(d, pos + 2, last)) end
end

local decoders = {
  [0x01] = function(doc, d, pos, last) D.fields(doc, "Device descriptor", d, pos, last, deviceFields) end,
  [0x02] = function(doc, d, pos, last) D.fields(doc, "Configuration descriptor", d, pos, last, configFields) end,
  [0x03] = stringDesc,
  [0x04] = interface,
  [0x05] = endpoint,
  [0x06] = function(doc, d, pos, last) D.fields(doc, "Device qualifier descriptor", d, pos, last, qualifierFields) end,
  [0x07] = function(doc, d, pos, last)
    D.fields(doc, "Other speed configuration descriptor", d, pos, last, configFields)
  end,
  [0x0B] = function(doc, d, pos, last, state)
    local _, _, complete = D.fields(doc, "Interface association descriptor", d, pos, last, iadFields)
    if complete then
      state.functions[#state.functions + 1] = { first = d[pos + 2], count = d[pos + 3], class = d[pos + 4] }
    end
  end,
  [0x0F] = function(doc, d, pos, last) D.fields(doc, "BOS descriptor", d, pos, last, bosFields) end,
  [0x10] = capability,
}

local function decodeOne(doc, d, pos, last, typ, state)
  local classDecoder = typ >= 0x20 and state.class and registry.classDescriptors[state.class]
  if classDecoder and classDecoder(doc, d, pos, last, state) then return end
  local f = decoders[typ]
  if f then f(doc, d, pos, last, state, typ) else generic(doc, d, pos, last, typ) end
end

-- Bytes a host reads first to learn a descriptor set's wTotalLength.
local headerSizes = { [0x02] = 9, [0x07] = 9, [0x0F] = 5 }

-- Decodes the descriptors in d one after the other. ctx.stringIndex tells a
-- string descriptor whether it is the language list (index 0); ctx.requested
-- is wLength, so a read that stops where the host asked is not called short.
-- ctx.strings(index), when given, is the text of a string index.
-- Truncated or malformed data is decoded as far as it goes, with a note.
function D.walk(doc, d, ctx)
  ctx = ctx or {}
  stringText = ctx.strings or function() return nil end
  local state = { stringIndex = ctx.stringIndex, functions = {} }
  local asked = ctx.requested and #d >= ctx.requested
  local pos = 1
  local total, setType
  while pos <= #d do
    local len, typ = d[pos], d[pos + 1]
    if len < 2 then
      doc:para("Malformed: bLength %d at offset %d is shorter than the descriptor head, decoding stops here.",
        len, pos - 1)
      return
    end
    if typ == nil then
      doc:para("Truncated: only the bLength byte (%d) of a descriptor at offset %d was transferred.", len, pos - 1)
      return
    end
    if headerSizes[typ] and pos == 1 then total, setType = bytes.le(d, 3, 2), typ end
    local last = pos + len - 1
    decodeOne(doc, d, pos, math.min(last, #d), typ, state)
    if last > #d then
      if asked then
        doc:para("First %d bytes of the %s descriptor, as requested (it has %d).", #d - pos + 1, D.typeName(typ), len)
      else
        doc:para("Truncated: the %s descriptor at offset %d declares %d bytes but only %d were transferred.",
          D.typeName(typ), pos - 1, len, #d - pos + 1)
      end
      return
    end
    pos = last + 1
  end
  if total and total > #d then
    if asked then
      doc:para("First %d of the %d bytes of wTotalLength, as requested: hosts read the %d-byte header " ..
        "first to learn the total length.", #d, total, headerSizes[setType])
    else
      doc:para("Truncated: only the first %d of the %d bytes of wTotalLength were transferred.", #d, total)
    end
  end
end

return D
