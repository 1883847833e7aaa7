-- Transactions (USB 2.0 section 8.5): token, optional data, handshake.

local markup = require "lib.markup"
local tree = require "lib.tree"
local payload = require "payload"

local T = {}

function T.transaction(t)
  local token, data, hs = tree.packets(t)
  local target = token and string.format("%d.%d", token.addr, token.endp) or "?"
  local outcome = tree.outcome(t)
  local body = markup.new()
  local summary = payload.describe(body, t, data)

  local doc = markup.new()
  doc:para("%s transaction to %s: %s%s", t.subType, target, outcome, summary and " (" .. summary .. ")" or "")
  local head = doc:table(t.subType .. " transaction")
  head:row("Type", t.subType)
  head:row("Address.endpoint", target)
  head:row("Data", data and string.format("%s, %d bytes", tree.pidNames[data.pid], #data.data) or "none")
  head:row("Handshake", hs and tree.pidText(hs.pid) or "none")
  head:row("Outcome", outcome)
  if tree.transfer(t.parent) then head:row("Part of", "control transfer in row " .. t.parent) end
  doc:append(body)
  return doc:text()
end

return T
