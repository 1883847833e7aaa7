-- What the data of a transaction carries: a SETUP packet, a piece of a
-- control transfer's data stage, a status stage, or bulk/interrupt data that
-- a class recognises by its content.

local tree = require "lib.tree"
local registry = require "lib.registry"
local requests = require "requests"
local devices = require "devices"

local M = {}

-- The request of a transfer read by tree.transfer, parsed once, or nil.
function M.request(info)
  if not info.setup then return nil end
  if not info.req then
    info.req = requests.parse(info.setup, tree.address(info.setupTrx), info.node.handle)
  end
  return info.req
end

-- What a transaction inside a control transfer is to it.
local function stagePart(doc, trx, data, info)
  local req = M.request(info)
  if not req then return nil end
  local offset = info.offsets[trx.handle]
  if offset then
    local n = #data.data
    if n == 0 then
      doc:para("Data stage of %s: a zero-length packet ends it after %d bytes.", requests.summary(req), #info.data)
    else
      doc:para("Data stage of %s: bytes %d to %d of %d.", requests.summary(req), offset, offset + n - 1, #info.data)
    end
    requests.decodeData(doc, req, info.data)
    return "data stage"
  end
  if info.retries[trx.handle] then
    doc:para("Retry: this %s repeats the previous data packet's toggle, so its first copy was taken " ..
      "and only the handshake was lost. The receiver drops this copy; it is not part of the data stage.",
      tree.pidNames[data.pid])
    return "retry"
  end
  if info.status == trx.handle then
    doc:para("Status stage of %s.", requests.summary(req))
    return "status stage"
  end
  return nil
end

-- Adds the description of the data of transaction `trx` (data packet `data`,
-- may be nil) to doc; returns a one-line summary or nil.
function M.describe(doc, trx, data)
  local info = tree.transfer(trx.parent)
  if trx.subType == "SETUP" then
    if not data or #data.data ~= 8 then
      doc:para("A SETUP packet must carry 8 bytes, this one carries %d.", data and #data.data or 0)
      return "malformed SETUP"
    end
    local addr = tree.address(trx)
    local req = requests.parse(data.data, addr, info and info.node.handle or trx.handle)
    requests.setupTable(doc, req)
    if info and info.setupTrx and info.setupTrx.handle ~= trx.handle then
      doc:para("A repeated SETUP inside the transfer: the device must abort the previous request.")
    end
    return requests.summary(req)
  end
  if info then return data and stagePart(doc, trx, data, info) or nil end
  if data and #data.data > 0 then
    for _, decode in ipairs(registry.payloadDecoders) do
      local summary = decode(doc, data.data, trx)
      if summary then
        local origin = devices.origin(tree.address(trx), trx.handle)
        if origin then doc:para(origin) end
        return summary
      end
    end
  end
  return nil
end

return M
