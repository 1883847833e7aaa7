-- What the data of a transaction carries: a SETUP packet, a piece of a
-- control transfer's data stage, a status stage, or bulk/interrupt data that
-- a class recognises by its content.

local tree = require "lib.tree"
local registry = require "lib.registry"
local requests = require "requests"

local M = {}

-- The request of a transfer, parsed, or nil.
function M.request(transfer)
  local setup, setupTrx = tree.setupOf(transfer)
  if not setup then return nil end
  return requests.parse(setup, tree.address(setupTrx), transfer.handle), setup
end

-- Adds the description of the data of transaction `trx` (data packet `data`,
-- may be nil) to doc; returns a one-line summary or nil.
function M.describe(doc, trx, data)
  local transfer = tree.parentOfType(trx, "transfer")
  if trx.subType == "SETUP" then
    if not data or #data.data ~= 8 then
      doc:para("A SETUP packet must carry 8 bytes, this one carries %d.", data and #data.data or 0)
      return "malformed SETUP"
    end
    local _, setupTrx = transfer and tree.setupOf(transfer)
    local addr = tree.address(trx)
    local req = requests.parse(data.data, addr, transfer and transfer.handle or trx.handle)
    requests.setupTable(doc, req)
    if setupTrx and setupTrx.handle ~= trx.handle then
      doc:para("A repeated SETUP inside the transfer: the device must abort the previous request.")
    end
    return requests.summary(req)
  end
  if transfer then
    local req, setup = M.request(transfer)
    if not req then return nil end
    local stage = tree.dataStage(transfer, setup)
    local offset = stage.offsets[trx.handle]
    if offset then
      local n = #data.data
      doc:para("Data stage of %s: bytes %d to %d of %d.", requests.summary(req), offset, offset + n - 1, #stage.data)
      requests.decodeData(doc, req, stage.data)
      return "data stage"
    end
    local statusDir = (setup[1] & 0x80) ~= 0 and "OUT" or "IN"
    if trx.subType == statusDir and data and #data.data == 0 then
      doc:para("Status stage of %s.", requests.summary(req))
      return "status stage"
    end
    return nil
  end
  if data and #data.data > 0 then
    for _, decode in ipairs(registry.payloadDecoders) do
      local summary = decode(doc, data.data)
      if summary then return summary end
    end
  end
  return nil
end

return M
