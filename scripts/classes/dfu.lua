-- Device Firmware Upgrade (USB DFU 1.1): the functional descriptor and the
-- class requests with their states and status codes; and ST's DfuSe variant
-- of it (STMicroelectronics AN3156, "USB DFU protocol used in the STM32
-- bootloader"), whose block 0 carries commands and whose later blocks go to
-- an address the Set Address Pointer command set.

local bytes = require "lib.bytes"
local registry = require "lib.registry"
local descriptors = require "descriptors"
local devices = require "devices"

-- DFU is subclass 1 of the application-specific class.
local DFU, DFU_SUBCLASS = 0xFE, 0x01
local DFUSE_VERSION = 0x011A
local F = descriptors.formats

-- DFU 1.1 section 6.1.2.
local states = {
  [0] = "appIDLE", "appDETACH", "dfuIDLE", "dfuDNLOAD-SYNC", "dfuDNBUSY", "dfuDNLOAD-IDLE", "dfuMANIFEST-SYNC",
  "dfuMANIFEST", "dfuMANIFEST-WAIT-RESET", "dfuUPLOAD-IDLE", "dfuERROR",
}
local statuses = {
  [0] = { "OK", "no error" }, { "errTARGET", "the file is not for this device" },
  { "errFILE", "the file fails a vendor check" }, { "errWRITE", "the device cannot write its memory" },
  { "errERASE", "erasing the memory failed" }, { "errCHECK_ERASED", "the erase check failed" },
  { "errPROG", "programming the memory failed" }, { "errVERIFY", "the written memory did not verify" },
  { "errADDRESS", "an address is out of range" },
  { "errNOTDONE", "the download ended before the firmware was complete" },
  { "errFIRMWARE", "the firmware is corrupt: the device cannot return to run-time" },
  { "errVENDOR", "a vendor-specific error" }, { "errUSBR", "an unexpected USB reset" },
  { "errPOR", "an unexpected power-on reset" }, { "errUNKNOWN", "an unknown failure" },
  { "errSTALLEDPKT", "the device stalled an unexpected request" },
}

local function stateText(v) return string.format("%d (%s)", v, states[v] or "reserved") end
local function statusText(v)
  local s = statuses[v]
  return s and string.format("%d (%s: %s)", v, s[1], s[2]) or string.format("%d (reserved)", v)
end

local attributeBits = { "bitCanDnload", "bitCanUpload", "bitManifestationTolerant", "bitWillDetach" }

local function version(v)
  return string.format("0x%04X (%s)", v, v == DFUSE_VERSION and "DfuSe" or string.format("DFU %X.%X", v >> 8, (v & 0xFF) >> 4))
end

-- The functional descriptor (DFU 1.1 section 4.1.3) after a DFU interface.
registry.classDescriptors[DFU] = function(doc, d, pos, last, state)
  if d[pos + 1] ~= 0x21 or state.subclass ~= DFU_SUBCLASS then return false end
  descriptors.fields(doc, "DFU functional descriptor", d, pos, last, {
    { "bLength", 1, F.len }, { "bDescriptorType", 1, function(v) return string.format("0x%02X (DFU FUNCTIONAL)", v) end },
    { "bmAttributes", 1, function(v) return bytes.bits(v, attributeBits) end },
    { "wDetachTimeOut", 2, function(v) return v .. " ms" end }, { "wTransferSize", 2, F.len },
    { "bcdDFUVersion", 2, version } })
  return true
end

local function iface(req) return "interface " .. (req.wIndex & 0xFF) end

-- The device speaks DfuSe: its functional descriptor says so, or block 0
-- carried a DfuSe command before.
local function dfuse(req)
  local functional = devices.dfuFunctional(req.addr, req.row)
  if functional then return functional.version == DFUSE_VERSION end
  return devices.fact("dfuseCommand", req.addr, req.row, "row") ~= nil
end

-- Where a DfuSe block of 2 and up goes: the address pointer plus the blocks
-- before it (AN3156).
local function dfuseAddress(req)
  local pointer = devices.fact("dfusePointer", req.addr, req.row, "address")
  if not pointer then return nil end
  local functional = devices.dfuFunctional(req.addr, req.row)
  return pointer + (req.wValue - 2) * (functional and functional.transferSize or req.wLength)
end

local function blockValue(req)
  local text = "block " .. req.wValue
  if req.bRequest == 0x01 and req.wLength == 0 then return text .. ", no data: the download is complete" end
  if req.addr and dfuse(req) then
    if req.wValue == 0 then return text .. (req.bRequest == 0x01 and ", a DfuSe command" or ", the DfuSe commands") end
    local address = req.wValue >= 2 and dfuseAddress(req)
    if address then return string.format("%s, DfuSe address 0x%08X", text, address) end
  end
  return text
end

local dfuseCommands = { [0x00] = "Get Commands", [0x21] = "Set Address Pointer", [0x41] = "Erase", [0x92] = "Read Unprotect" }

-- A DfuSe command of block 0: its code, then a 4-byte address for some.
local function dfuseCommand(doc, d)
  local name = dfuseCommands[d[1]] or string.format("command 0x%02X", d[1])
  local t = doc:table("DfuSe command: " .. name)
  t:row("Command", string.format("0x%02X (%s)", d[1], name))
  local address = bytes.le(d, 2, 4)
  if address then t:row(d[1] == 0x41 and "Page address" or "Address", bytes.hex8(address)) end
  if d[1] == 0x41 and #d == 1 then t:row("Erase", "the whole memory (mass erase)") end
end

local function downloadData(doc, req, d)
  if req.addr and dfuse(req) and req.wValue == 0 then return dfuseCommand(doc, d) end
  doc:hexdump(string.format("Firmware block %d (%d bytes)", req.wValue, #d), d)
end

local function uploadData(doc, req, d)
  if req.addr and dfuse(req) and req.wValue == 0 then
    local t = doc:table("DfuSe commands supported", { "Code", "Command" })
    for _, c in ipairs(d) do t:row(string.format("0x%02X", c), dfuseCommands[c] or "unknown") end
    return
  end
  doc:hexdump(string.format("Uploaded block %d (%d bytes)", req.wValue, #d), d)
end

-- GETSTATUS returns 6 bytes: bStatus, bwPollTimeout (3 bytes), bState, iString.
local function statusData(doc, _, d)
  local t = doc:table("DFU status")
  if d[1] then t:row("bStatus", statusText(d[1])) end
  local poll = bytes.le(d, 2, 3)
  if poll then t:row("bwPollTimeout", poll .. " ms before the next GETSTATUS") end
  if d[5] then t:row("bState", stateText(d[5])) end
  if d[6] then t:row("iString", F.str(d[6])) end
  if #d ~= 6 then doc:para("GETSTATUS returns 6 bytes; this one returned %d.", #d) end
  if d[5] then doc:para("The device is in %s, status %s.", states[d[5]] or "a reserved state", (statuses[d[1]] or { "reserved" })[1]) end
end

registry.classRequests[DFU] = {
  name = "DFU",
  [0x00] = { name = "DETACH", dir = 0, index = iface, value = function(req)
      return string.format("detach within %d ms", req.wValue)
    end },
  [0x01] = { name = "DNLOAD", dir = 0, index = iface, value = blockValue, data = downloadData },
  [0x02] = { name = "UPLOAD", dir = 1, index = iface, value = blockValue, data = uploadData },
  [0x03] = { name = "GETSTATUS", dir = 1, index = iface, data = statusData },
  [0x04] = { name = "CLRSTATUS", dir = 0, index = iface },
  [0x05] = { name = "GETSTATE", dir = 1, index = iface, data = function(doc, _, d)
      if d[1] then doc:table("DFU state"):row("bState", stateText(d[1])) end
    end },
  [0x06] = { name = "ABORT", dir = 0, index = iface },
}

-- DfuSe commands in block 0 (kept for the blocks after them), and a 6-byte
-- GETSTATUS reply naming a DFU state, which proves the class.
registry.transferClues[#registry.transferClues + 1] = function(info, _, keep)
  local s, d = info.setup, info.data
  if s[1] == 0x21 and s[2] == 0x01 and s[3] == 0 and s[4] == 0 and (#d == 1 or #d == 5) and dfuseCommands[d[1]] then
    keep("dfuseCommand", {})
    if d[1] == 0x21 and #d == 5 then keep("dfusePointer", { address = bytes.le(d, 2, 4) }) end
  elseif s[1] == 0xA1 and s[2] == 0x03 and #d == 6 and states[d[5]] and (statuses[d[1]] ~= nil) then
    keep("clue", { class = DFU, why = string.format("the 6-byte reply in row %d to class request 3 names the DFU " ..
      "state %s", info.node.handle, states[d[5]]) })
  end
end

return {}
