-- Prolific PL2303 USB-serial chips. Prolific publishes no request list: the
-- chip takes the line-coding requests of CDC PSTN 1.20 on its vendor
-- interface; its register requests and status report are those the Linux
-- kernel's pl2303 serial support makes and reads.

local bytes = require "lib.bytes"
local registry = require "lib.registry"
local serial = require "classes.serial"
local cdc = require "classes.cdc"

local chip = { name = "PL2303", statusEndpoint = 0x81 }

chip.models = { [0x067B2303] = "PL2303" }

chip.classRequests = {}
for _, code in ipairs({ 0x20, 0x21, 0x22, 0x23 }) do chip.classRequests[code] = cdc.requests[code] end

local names = { [0] = "VENDOR_WRITE", [1] = "VENDOR_READ" }

chip.requests = {
  [0x01] = { name = "VENDOR_WRITE", nameOf = function(req) return names[req.dir] end,
    value = function(req) return string.format("register 0x%04X", req.wValue) end,
    index = function(req) return req.dir == 0 and string.format("value 0x%02X", req.wIndex) or tostring(req.wIndex) end,
    data = function(doc, _, d)
      if d[1] then doc:table("Returned"):row("Value", string.format("0x%02X", d[1])) end
    end },
}

local stateBits = { "DCD", "DSR", "break", "RI", "framing error", "parity error", "overrun", "CTS" }

-- The status report: a CDC notification header, the line state in byte 9.
function chip.status(doc, d)
  local t = doc:table("PL2303 status report")
  t:row("Bytes", bytes.hexList(d, 1, #d))
  if #d < 9 then return "PL2303 status report" end
  t:row("Line state", bytes.bits(d[9], stateBits))
  return "PL2303 status report: " .. bytes.bits(d[9], stateBits)
end

-- The register reads and writes that start every PL2303's set-up.
registry.transferClues[#registry.transferClues + 1] = function(info, _, keep)
  local s = info.setup
  local reg = bytes.le(s, 3, 2)
  if s[2] == 0x01 and ((s[1] == 0xC0 and reg == 0x8484) or (s[1] == 0x40 and reg == 0x0404)) then
    keep("clue", { chip = chip, why = string.format("its vendor request in row %d %s register 0x%04X as PL2303s " ..
      "are set up", info.node.handle, s[1] == 0xC0 and "reads" or "writes", reg) })
  end
end

registry.chips[#registry.chips + 1] = chip

return chip
