# Compares tshark's dissection (-T json -e ...) with the simulator's byte log.
#   jq -n -r --rawfile log SIM.LOG --slurpfile frames DISSECTED.JSON -f compare.jq
# Prints one line per problem; nothing when all agree.

def unhex: ascii_downcase | [scan("..") | explode | map(if . >= 97 then . - 87 else . - 48 end)
           | .[0] * 16 + .[1]] | implode;
def words: split(" ") | map(select(. != ""));
def serial6: ascii_upcase | if length < 6 then ("000000" + .)[-6:] else . end;
def one($key; $value): if $value == null then {} else {($key): [$value]} end;

# Datagrams that are wrong on purpose: the expert messages each must raise.
def malformed: {
  "ZZQ 1x 10.0.0\u0000": ["Serial is not hexadecimal", "DHCP read as 1 from 1x",
                          "IP address is not an IPv4 address", "Section 1 ends after item 3 of 6"],
  "7BC002 0 10.7.0": ["IP address is not an IPv4 address", "Datagram ends inside an address: 10.7.0",
                      "Last section ends with the datagram"],
  "8CD003 4 x": ["Not a configuration command"],
  ("B" * 1100): ["the host reads at most 1024"],
  "10A5E4 7 1": ["Code 7 answers no configuration command"],
  "junk": ["Serial is not hexadecimal", "Reply without a code and a status"],
  ("10A5E4 5 1" + " " * 130): ["the host reads at most 127"]
};

def announcement_fields($src0):
  (if endswith("\u0000") then .[:-1] else . end | split("\u0000")[:3]) as $s
  | ($s[0] | words) as $w
  | {"velkarin.type": ["2"], "velkarin.sections": [$s | length | tostring]}
  + (if $src0 then {"velkarin.unconfigured": ["1"]} else {} end)
  + one("velkarin.serial"; $w[0] | if . then serial6 else null end)
  + one("velkarin.dhcp"; $w[1]) + one("velkarin.ip"; $w[2]) + one("velkarin.netmask"; $w[3])
  + one("velkarin.gateway"; $w[4])
  + one("velkarin.name"; if ($w | length) > 5 then $s[0] | sub("^ *([^ ]+ +){5}"; "") else null end)
  + (if ($s | length) > 1 then ($s[1] | words) as $x
      | one("velkarin.ext_number1"; $x[0])
      + (if ($x | length) > 1 then {"velkarin.ext_text": $x[1:5]} else {} end)
      + one("velkarin.device_id"; $x[5]) + one("velkarin.device_index"; $x[6])
      + one("velkarin.ext_number2"; $x[7]) + one("velkarin.ext_text_a"; $x[8])
      + one("velkarin.ext_text_b"; $x[9]) + one("velkarin.command_suffix"; $x[10])
    else {} end)
  + (if ($s | length) > 2 then ($s[2] | words) as $x
      | one("velkarin.aux_number"; $x[0] | if . then "0x" + ("00000000" + ascii_downcase)[-8:] else null end)
      + one("velkarin.aux_text_a"; $x[1]) + one("velkarin.aux_text_b"; $x[2])
    else {} end);

def command_fields:
  split(" ") as $f
  | (if $f[1] == "8" then ["digest", "index", "dhcp", "ip", "netmask", "gateway", "suffix"]
     elif $f[1] == "3" then ["index", "dhcp", "ip", "netmask", "gateway", "suffix"]
     elif $f[1] == "4" then ["index", "dhcp", "ip", "netmask", "gateway"]
     else ["dhcp", "ip", "netmask", "gateway"] end) as $names
  | {"velkarin.type": ["3"], "velkarin.command.address": [$f[0]], "velkarin.command.form": [$f[1]]}
  + ([range($names | length) | {("velkarin.command." + $names[.]): [$f[. + 2]]}] | add);

def reply_fields:
  words as $w
  | {"velkarin.type": ["4"], "velkarin.serial": [$w[0] | serial6],
     "velkarin.reply.code": [$w[1]], "velkarin.reply.status": [$w[2]]}
  + one("velkarin.reply.challenge"; $w[3]);

# The log, datagram by datagram: what went in and out of the devices' port.
# An answer to a port whose last datagram was a command is that command's reply.
def logged:
  [$log | split("\n")[]
   | capture("^\\S+ (?<dir>RX|TX) [0-9.]+:(?<port>[0-9]+) (?<src0>src=0\\.0\\.0\\.0 )?len=[0-9]+ hex=(?<hex>[0-9A-F]*) ")]
  | reduce .[] as $d ({asked: {}, out: []};
      ($d.hex | unhex) as $t
      | (if $d.dir == "RX" then (if $t == "0 1 A" then "1" else "3" end)
         elif ($t | index("\u0000")) != null then "2"
         elif .asked[$d.port] == "3" then "4" else "2" end) as $kind
      | (if $d.dir == "RX" then .asked[$d.port] = $kind else . end)
      | .out += [{key: "\($d.dir) \($d.port) \($d.hex | ascii_downcase)", text: $t,
                  fields: (if malformed[$t] then null
                           elif $kind == "1" then {"velkarin.type": ["1"]}
                           elif $kind == "2" then $t | announcement_fields($d.src0 != null)
                           elif $kind == "3" then $t | command_fields
                           else $t | reply_fields end)}])
  | .out;

# The devices' port, and answers from 0.0.0.0 to the ports that asked it.
def captured:
  ([$log | scan(" RX [0-9.]+:([0-9]+) ") | {(.[0]): true}] | add) as $asking
  | [$frames[0][]._source.layers
   | select(.["udp.srcport"][0] == "8001" or .["udp.dstport"][0] == "8001"
            or $asking[.["udp.dstport"][0]])
   | (if .["udp.dstport"][0] == "8001" then "RX \(.["udp.srcport"][0])" else "TX \(.["udp.dstport"][0])" end)
       as $side
   | {key: "\($side) \(.["udp.payload"][0])", frame: .["frame.number"][0], layers: .,
      fields: with_entries(select((.key | startswith("velkarin.")) and .key != "velkarin.answers"
                                  and .key != "velkarin.ignored"))}];

logged as $logged | captured as $captured
| ($logged | group_by(.key) | map({key: .[0].key, value: .}) | from_entries) as $bylog
| ($captured | group_by(.key) | map({key: .[0].key, value: .}) | from_entries) as $bycap
| (
    # Every datagram in both, as often in one as in the other.
    ($bylog + $bycap | keys[]
     | select(($bylog[.] | length) != ($bycap[.] | length))
     | "datagram \(.[:100]): \($bylog[.] | length) in the log, \($bycap[.] | length) captured"),
    # The dissected fields are those the logged bytes hold.
    ($captured[] | . as $c | $bylog[$c.key][0] as $l | select($l != null and $l.fields != null)
     | select($c.fields != $l.fields)
     | "frame \($c.frame): dissected \($c.fields | tojson)\n   log says \($l.fields | tojson)"),
    # Well-formed datagrams raise no warning; the malformed ones raise theirs.
    ($captured[] | . as $c | ($c.layers["_ws.expert.message"] // []) as $messages
     | $bylog[$c.key][0].text as $text
     | if malformed[$text] then
         (malformed[$text][] | . as $want | select(all($messages[]; contains($want) | not))
          | "frame \($c.frame): no expert info \"\($want)\" (has \($messages))")
       else
         (($c.layers["_ws.expert.severity"] // [])
          | select((map(tonumber) | max // 0) >= 6291456)
          | "frame \($c.frame): warning on a well-formed datagram: \($messages)")
       end),
    # No Lua failure anywhere, and nothing left undissected.
    ($captured[] | select(.layers["_ws.lua.error"] or .fields["velkarin.type"] == null
                          or any(.layers["_ws.expert.message"][]?; contains("could not finish")))
     | "frame \(.frame): not dissected cleanly: \(.layers["_ws.expert.message"])")
  )
,
# The run showed every kind of datagram, so none of the above passed by absence.
( [["discovery request", "velkarin.type", "1"], ["announcement with three sections", "velkarin.sections", "3"],
   ["announcement sent from 0.0.0.0", "velkarin.unconfigured", "1"],
   ["command form 3", "velkarin.command.form", "3"], ["command form 4", "velkarin.command.form", "4"],
   ["command form 5", "velkarin.command.form", "5"], ["command form 8", "velkarin.command.form", "8"],
   ["DHCP command", "velkarin.command.dhcp", "1"], ["accepting reply", "velkarin.reply.status", "1"],
   ["refusing reply", "velkarin.reply.status", "-1"]][] as [$what, $key, $value]
  | select(all($captured[]; .fields[$key] != [$value])) | "no \($what) in the capture" ),
( select(all($captured[]; .fields["velkarin.reply.challenge"] == null)) | "no reply with a challenge" )
,
( malformed | keys[] | . as $text | select(all($logged[]; .text != $text))
  | "the malformed datagram \(.[:40] | tojson) never appeared" )
