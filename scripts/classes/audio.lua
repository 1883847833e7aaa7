-- Audio devices (USB Audio 1.0 and 2.0) and MIDI streaming (USB MIDI 1.0):
-- the class-specific descriptors of control, streaming and MIDI interfaces,
-- and the requests that set sampling frequency, volume and mute.

local bytes = require "lib.bytes"
local registry = require "lib.registry"
local descriptors = require "descriptors"
local devices = require "devices"

local AUDIO = 0x01
local CONTROL, STREAMING, MIDI = 0x01, 0x02, 0x03
local UAC2 = 0x20
local F = descriptors.formats

local terminalTypes = {
  [0x0101] = "USB streaming", [0x0201] = "Microphone", [0x0202] = "Desktop microphone",
  [0x0204] = "Microphone array", [0x0301] = "Speaker", [0x0302] = "Headphones",
  [0x0304] = "Desktop speaker", [0x0402] = "Headset", [0x0501] = "Phone line",
  [0x0601] = "Analog connector", [0x0602] = "Digital audio interface", [0x0603] = "Line connector",
  [0x0605] = "S/PDIF interface",
}

local function terminal(v) return string.format("0x%04X (%s)", v, terminalTypes[v] or "other") end
local function hz(v) return v .. " Hz" end
local function id(v) return tostring(v) end

-- Fixed fields after bLength, bDescriptorType and bDescriptorSubtype, by
-- interface subclass, audio version (1 or 2) and subtype.
local layouts = {
  [CONTROL] = {
    [1] = {
      [0x01] = { "Header", { { "bcdADC", 2, F.bcd }, { "wTotalLength", 2, F.len }, { "bInCollection", 1, F.num } } },
      [0x02] = { "Input terminal", { { "bTerminalID", 1, id }, { "wTerminalType", 2, terminal },
        { "bAssocTerminal", 1, id }, { "bNrChannels", 1, F.num }, { "wChannelConfig", 2, F.hex4 },
        { "iChannelNames", 1, F.str }, { "iTerminal", 1, F.str } } },
      [0x03] = { "Output terminal", { { "bTerminalID", 1, id }, { "wTerminalType", 2, terminal },
        { "bAssocTerminal", 1, id }, { "bSourceID", 1, id }, { "iTerminal", 1, F.str } } },
      [0x06] = { "Feature unit", { { "bUnitID", 1, id }, { "bSourceID", 1, id }, { "bControlSize", 1, F.num } } },
    },
    [2] = {
      [0x01] = { "Header", { { "bcdADC", 2, F.bcd }, { "bCategory", 1, F.hex2 }, { "wTotalLength", 2, F.len },
        { "bmControls", 1, F.hex2 } } },
      [0x02] = { "Input terminal", { { "bTerminalID", 1, id }, { "wTerminalType", 2, terminal },
        { "bAssocTerminal", 1, id }, { "bCSourceID", 1, id }, { "bNrChannels", 1, F.num },
        { "bmChannelConfig", 4, bytes.hex8 }, { "iChannelNames", 1, F.str }, { "bmControls", 2, F.hex4 },
        { "iTerminal", 1, F.str } } },
      [0x03] = { "Output terminal", { { "bTerminalID", 1, id }, { "wTerminalType", 2, terminal },
        { "bAssocTerminal", 1, id }, { "bSourceID", 1, id }, { "bCSourceID", 1, id }, { "bmControls", 2, F.hex4 },
        { "iTerminal", 1, F.str } } },
      [0x06] = { "Feature unit", { { "bUnitID", 1, id }, { "bSourceID", 1, id } } },
      [0x0A] = { "Clock source", { { "bClockID", 1, id }, { "bmAttributes", 1, function(v)
          return string.format("0x%02X (%s clock)", v, ({ [0] = "external", "internal fixed",
            "internal variable", "internal programmable" })[v & 3])
        end }, { "bmControls", 1, F.hex2 }, { "bAssocTerminal", 1, id }, { "iClockSource", 1, F.str } } },
      [0x0B] = { "Clock selector", { { "bClockID", 1, id }, { "bNrInPins", 1, F.num } } },
    },
  },
  [STREAMING] = {
    [1] = {
      [0x01] = { "AS general", { { "bTerminalLink", 1, id }, { "bDelay", 1, F.num },
        { "wFormatTag", 2, function(v) return string.format("0x%04X (%s)", v, v == 1 and "PCM" or "other") end } } },
      [0x02] = { "Format type", { { "bFormatType", 1, F.num }, { "bNrChannels", 1, F.num },
        { "bSubframeSize", 1, F.len }, { "bBitResolution", 1, F.num }, { "bSamFreqType", 1, F.num } } },
    },
    [2] = {
      [0x01] = { "AS general", { { "bTerminalLink", 1, id }, { "bmControls", 1, F.hex2 }, { "bFormatType", 1, F.num },
        { "bmFormats", 4, function(v) return string.format("0x%08X%s", v, (v & 1) ~= 0 and " (PCM)" or "") end },
        { "bNrChannels", 1, F.num }, { "bmChannelConfig", 4, bytes.hex8 }, { "iChannelNames", 1, F.str } } },
      [0x02] = { "Format type", { { "bFormatType", 1, F.num }, { "bSubslotSize", 1, F.len },
        { "bBitResolution", 1, F.num } } },
    },
  },
  [MIDI] = {
    [1] = {
      [0x01] = { "MIDI streaming header", { { "bcdMSC", 2, F.bcd }, { "wTotalLength", 2, F.len } } },
      [0x02] = { "MIDI IN jack", { { "bJackType", 1, function(v) return v == 1 and "1 (embedded)" or "2 (external)" end },
        { "bJackID", 1, id }, { "iJack", 1, F.str } } },
      [0x03] = { "MIDI OUT jack", { { "bJackType", 1, function(v) return v == 1 and "1 (embedded)" or "2 (external)" end },
        { "bJackID", 1, id }, { "bNrInputPins", 1, F.num } } },
    },
  },
}

-- Variable parts after the fixed fields, from `p` to `last`.
local function rest(t, d, p, last, sub, version, subtype)
  if sub == CONTROL and version == 1 and subtype == 0x01 then
    for i = p, last do t:row("baInterfaceNr(" .. (i - p + 1) .. ")", d[i]) end
  elseif sub == CONTROL and subtype == 0x06 then
    local size = version == 2 and 4 or (d[p - 1] or 1)
    local n = 0
    while p + size - 1 <= last - 1 do
      local v = bytes.le(d, p, size)
      local mute, volume = (version == 2 and (v & 3) or (v & 1)) ~= 0, (version == 2 and (v & 12) or (v & 2)) ~= 0
      t:row(n == 0 and "bmaControls(master)" or "bmaControls(" .. n .. ")",
        string.format("0x%X (%s)", v, (mute and volume and "mute, volume") or (mute and "mute") or
          (volume and "volume") or "other controls"))
      n, p = n + 1, p + size
    end
    if p <= last then t:row("iFeature", F.str(d[p])) end
  elseif sub == STREAMING and version == 1 and subtype == 0x02 then
    for i = p, last - 2, 3 do t:row("tSamFreq", hz(bytes.le(d, i, 3))) end
  elseif sub == MIDI and subtype == 0x03 then
    for i = p, last - 2, 2 do t:row("Source", string.format("jack %d pin %d", d[i], d[i + 1])) end
    if last >= p and (last - p) % 2 == 0 then t:row("iJack", F.str(d[last])) end
  elseif p <= last then
    t:row("Data", bytes.hexList(d, p, last))
  end
end

local function interfaceDescriptor(doc, d, pos, last, state)
  local version = state.protocol == UAC2 and 2 or 1
  local subtype = d[pos + 2]
  local entry = subtype and (layouts[state.subclass] or {})[version]
  entry = entry and entry[subtype]
  if not entry then return false end
  local list = { { "bLength", 1, F.len }, { "bDescriptorType", 1, F.type },
    { "bDescriptorSubtype", 1, function(v) return string.format("0x%02X (%s)", v, entry[1]) end } }
  for _, f in ipairs(entry[2]) do list[#list + 1] = f end
  local prefix = state.subclass == MIDI and "" or (version == 2 and "Audio 2.0 " or "Audio 1.0 ")
  local t, used, complete = descriptors.fields(doc, prefix .. entry[1] .. " descriptor", d, pos, last, list)
  if complete then rest(t, d, pos + used, last, state.subclass, version, subtype) end
  return true
end

-- Class-specific endpoint descriptors: the audio data endpoint and the MIDI
-- endpoint with its embedded jacks.
local function endpointDescriptor(doc, d, pos, last, state)
  if state.subclass == MIDI then
    local t, used, complete = descriptors.fields(doc, "MIDI streaming endpoint descriptor", d, pos, last, {
      { "bLength", 1, F.len }, { "bDescriptorType", 1, F.type }, { "bDescriptorSubtype", 1, F.hex2 },
      { "bNumEmbMIDIJack", 1, F.num } })
    if complete then
      for i = pos + used, last do t:row("baAssocJackID", d[i]) end
    end
    return true
  end
  local list = { { "bLength", 1, F.len }, { "bDescriptorType", 1, F.type }, { "bDescriptorSubtype", 1, F.hex2 },
    { "bmAttributes", 1, F.hex2 } }
  if state.protocol == UAC2 then list[#list + 1] = { "bmControls", 1, F.hex2 } end
  list[#list + 1] = { "bLockDelayUnits", 1, F.num }
  list[#list + 1] = { "wLockDelay", 2, F.num }
  descriptors.fields(doc, "Audio data endpoint descriptor", d, pos, last, list)
  return true
end

registry.classDescriptors[AUDIO] = function(doc, d, pos, last, state)
  if d[pos + 1] == 0x24 then return interfaceDescriptor(doc, d, pos, last, state) end
  if d[pos + 1] == 0x25 then return endpointDescriptor(doc, d, pos, last, state) end
  return false
end

-- Request names by bRequest and direction: UAC1 has SET_ and GET_ CUR, MIN,
-- MAX and RES; UAC2 has CUR and RANGE in either direction.
local requestNames = {
  [0x01] = { [0] = "SET_CUR", "GET_CUR" }, [0x02] = { [0] = "SET_MIN", "GET_RANGE" },
  [0x03] = { [0] = "SET_MAX" }, [0x04] = { [0] = "SET_RES" },
  [0x81] = { [1] = "GET_CUR" }, [0x82] = { [1] = "GET_MIN" }, [0x83] = { [1] = "GET_MAX" }, [0x84] = { [1] = "GET_RES" },
}

-- The control a request addresses ("volume", "sampling frequency", ...), from
-- the control selector and the kind of entity it is sent to; nil when unknown.
local function controlName(req)
  local cs = req.wValue >> 8
  if req.recipient == 2 then return cs == 1 and "sampling frequency" or nil end
  local kind = req.addr and devices.audioEntity(req.addr, req.wIndex & 0xFF, req.wIndex >> 8, req.row)
  if kind == 0x06 then return ({ "mute", "volume", "bass", "mid", "treble" })[cs] end
  if kind == 0x0A then return ({ "sampling frequency", "clock validity" })[cs] end
  return nil
end

local function controlText(req)
  local cs, cn = req.wValue >> 8, req.wValue & 0xFF
  local name = controlName(req) or "control " .. cs
  if req.recipient == 2 then return name end
  return string.format("%s of entity %d, channel %s", name, req.wIndex >> 8, cn == 0 and "master" or cn)
end

local function controlData(doc, req, d)
  local name = controlName(req)
  local t = doc:table("Audio control value")
  if name == "sampling frequency" and req.bRequest == 0x02 and req.dir == 1 then
    -- wNumSubRanges, then minimum, maximum and resolution of each.
    for i = 3, #d - 11, 12 do
      t:row("Range", string.format("%d to %d Hz, step %d", bytes.le(d, i, 4), bytes.le(d, i + 4, 4), bytes.le(d, i + 8, 4)))
    end
  elseif name == "sampling frequency" and #d >= 3 then
    t:row("Sampling frequency", hz(bytes.le(d, 1, math.min(#d, 4))))
  elseif name == "volume" and #d >= 2 then
    local v = bytes.le(d, 1, 2)
    if v >= 0x8000 then v = v - 0x10000 end
    t:row("Volume", v == -0x8000 and "silence" or string.format("%.2f dB", v / 256))
  elseif name == "mute" and d[1] then
    t:row("Mute", d[1] ~= 0 and "muted" or "not muted")
  else
    t:row("Data", bytes.hexList(d, 1, #d))
  end
end

local entries = { name = "Audio" }
for code, names in pairs(requestNames) do
  entries[code] = {
    name = names[0] or names[1],
    dir = not (names[0] and names[1]) and (names[0] and 0 or 1) or nil,
    nameOf = function(req) return names[req.dir] or names[0] or names[1] end,
    value = controlText,
    index = function(req)
      if req.recipient == 2 then return "endpoint " .. descriptors.endpointAddress(req.wIndex & 0xFF) end
      return string.format("entity %d, interface %d", req.wIndex >> 8, req.wIndex & 0xFF)
    end,
    data = controlData,
  }
end
registry.classRequests[AUDIO] = entries

return {}
