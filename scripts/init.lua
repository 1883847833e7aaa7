-- Decode scripts of the USB analyser.
--
-- The program runs this file once at start-up and then calls, for each row
-- it shows, the global function of the row's class with the row's object
-- table: reset_decode, sof_decode, token_decode, data_decode,
-- handshake_decode, transaction_decode and transfer_decode. Each returns the
-- text of the decode pane: items separated by ";", "S" paragraphs and "T"
-- tables (see lib/markup.lua).
--
-- Object tables: handle (the row), parent (its row, -1 at the top), type
-- ("reset", "sof", "token", "data", "handshake", "sofgroup", "transaction",
-- "transfer") and per type: duration, idleTicks (reset); pid, idleTicks
-- (packets); frame, crc5, crcOK (sof); addr, endp, crc5, crcOK (token); data
-- (bytes 1..n), crc16, crcOK (data); children (rows) and subType ("SETUP",
-- "IN", "OUT"; "CONTROL") of groups. A transfer also carries the program's
-- reading of it: dataStage, the bytes of its acknowledged data-stage
-- transactions joined, and complete, true when an acknowledged zero-length
-- status stage was seen.
--
-- getNode(row): the table of that row (a number, rounded down), built afresh
-- on every call; for a row that does not exist it returns its argument
-- unchanged. It exists only once this file has run, so call it from the
-- decode functions, not while loading. Its cost grows with the row's
-- children, so follow a transfer's rows through lib/tree.lua's cache.
-- rowsVersion changes whenever the program loads other rows or other
-- external descriptors: caches keyed by row number must be dropped then.
--
-- externalDevices: descriptors from outside the capture, for devices whose
-- enumeration it lacks (devices.lua reads them): hints[addr] = { source,
-- class, subclass, vendor, product, descriptors } (what the user says about
-- an address, any field but source may be missing), remembered[vendor << 16
-- | product] and listed[addr] (an "lsusb -v" text) hold descriptor sets. A
-- set is { source, device, configuration (byte arrays, may be empty),
-- reports = { [interface] = HID report descriptor bytes } }; source says in
-- decode texts where it came from. The program sets it, empty when it has none.
--
-- capturedDevices(), defined by devices.lua for the program: the descriptor sets the
-- capture holds, as a list of sets without source, for it to remember.
-- learnedDevices(rows), defined by devicelist.lua: what the enumeration
-- requests among the control transfers in rows taught, for the devices pane.
--
-- Layout: lib/ (markup, bytes, row navigation), packets, transactions and
-- transfers (what a row is), requests and descriptors (chapter 9 of USB 2.0),
-- devices (what is known of each address), classes/ (HID, CDC ACM, mass
-- storage, audio and MIDI, DFU, and the serial chips of classes/serial.lua).

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
require "classes.audio"
require "classes.dfu"
require "classes.ftdi"
require "classes.cp210x"
require "classes.ch341"
require "classes.pl2303"

require "devicelist"

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
