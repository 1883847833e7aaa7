-- Decode scripts of the USB analyser.
--
-- The program runs this file once at start-up and then calls, for each row
-- it shows, the global function of the row's class with the row's object
-- table: reset_decode, sof_decode, token_decode, data_decode,
-- handshake_decode, transaction_decode and transfer_decode. Each returns the
-- text of the decode pane: items separated by ";", "S" paragraphs and "T"
-- tables (see lib/markup.lua). getNode(row) returns the table of any row.
--
-- Layout: lib/ (markup, bytes, row navigation), packets, transactions and
-- transfers (what a row is), requests and descriptors (chapter 9 of USB 2.0),
-- classes/ (HID, CDC ACM, mass storage).

-- Sibling files are found next to this one, whatever the working directory.
local here = debug.getinfo(1, "S").source:match("^@(.*[/\\])") or "./scripts/"
package.path = here .. "?.lua;" .. package.path

-- Start-up probe called by the program.
function myAdd(a, b)
  return a + b
end

require "classes.hid"
require "classes.cdc"
require "classes.msc"

local packets = require "packets"
local transactions = require "transactions"
local transfers = require "transfers"

reset_decode = packets.reset
sof_decode = packets.sof
token_decode = packets.token
data_decode = packets.data
handshake_decode = packets.handshake
transaction_decode = transactions.transaction
transfer_decode = transfers.transfer
