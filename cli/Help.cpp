#include "cli/Help.h"

#include <string_view>

#include "cli/OptionTable.h"

namespace kestrel::cli {

namespace {

constexpr char kGeneral[] = R"TXT(Usage: kestrelctl [--address ADDR] [--port N] [--interface ADDR|NAME] [--json] COMMAND [options]

Sets up and reads the pulse counters of a Kestrel device from the command line.
Every command connects on its own and closes its connection when it ends.

Global options:
@OPTIONS@

Commands:
  interfaces             list the local interfaces that can reach a device
  probe                  ask the device over UDP what it is
  info                   connect and show the device's identity and settings
  apply                  change pulse-count settings (period, chatter, inputs)
  start                  switch counting on
  stop                   switch counting off
  read                   read the counters once or at an interval
  scan                   list the devices that answer a broadcast probe

Exit status:
  0  success
  1  the device or the network failed, or no device answered a scan (the
     message is on standard error)
  2  the command line is wrong
  3  the device was refused: a model without pulse-count inputs, or a device
     in its spontaneous-notification mode

Results go to standard output, messages to standard error. A message in
Japanese (the window's own text) is followed by one line in English.

kestrelctl never uses a loopback interface, so it cannot reach a kestrel-sim
on 127.0.0.1; see 'kestrel-sim --help' for a private network to try both in.
)TXT";

constexpr char kInterfaces[] = R"TXT(Usage: kestrelctl [--json] interfaces

Lists the local IPv4 interfaces that can reach a device, one per line, as
"ADDRESS (NAME)". The first line is the interface used when --interface is
not given. With --json each line is
  {"ifIndex":N,"address":"A.B.C.D","friendlyName":"NAME","description":"TEXT"}
)TXT";

constexpr char kProbe[] = R"TXT(Usage: kestrelctl --address ADDR [options] probe

Sends the discovery query to UDP port 30718 of the device and prints
  probe: result=R kind=K product=PC family=F
or with --json
  {"result":R,"probeKind":K,"productCode":"PC","protocolFamily":F}
R is 0 when the device answered as a supported device, -1 when its answer was
not accepted, -2 when nothing answered within 5 seconds, and a socket error
number otherwise. The exit status is 0 only when R is 0.
)TXT";

constexpr char kInfo[] = R"TXT(Usage: kestrelctl --address ADDR [options] info

Connects as the window does (probe, connection, identification, model check,
mode check where the model needs it, settings read) and prints the device:
unit, model, number of inputs, protocol family, counting state, count period,
chatter filter and each input (RISE, FALL or off).
With --json one line:
  {"unitId":U,"modelIndex":M,"model":"NAME","inputCount":N,"protocolFamily":F,
   "countingOn":0|1,"startStopRunning":0|1,"countPeriod":0-3,"chatterCode":C,
   "inputs":[{"enabled":0|1,"edge":0|1},...]}
countPeriod: 0 START-STOP, 1 0.1 s, 2 1 s, 3 10 s. chatterCode: 0 off, else
milliseconds. edge: 0 RISE, 1 FALL.
)TXT";

constexpr char kApply[] = R"TXT(Usage: kestrelctl --address ADDR [options] apply [--period P] [--chatter C] [--input DIn=MODE]...

Reads the device's settings, changes only those named, and writes them as the
window's apply button does (the pulse-count mode with counting off, then every
input of the model). Prints the settings as 'info' does.
@OPTIONS@
Nothing is sent, and the exit status is not 0, while counting runs (run 'stop'
first) or when an input is beyond the model's inputs.
)TXT";

constexpr char kStart[] = R"TXT(Usage: kestrelctl --address ADDR [options] start

Switches counting on as the window's start button does: the settings are read
again, counting is switched on and, in the START-STOP period, the gate is
started. Prints "counting started", or "counting already on" when it already
runs, in which case nothing more is sent.
With --json: {"countingOn":1,"startStopRunning":1,"changed":true|false}
)TXT";

constexpr char kStop[] = R"TXT(Usage: kestrelctl --address ADDR [options] stop

Switches counting off as the window's stop button does: in the START-STOP
period the gate is stopped first, then counting is switched off; the period
and chatter filter stay. Prints "counting stopped", or "counting already off"
when it is off, in which case nothing more is sent.
With --json: {"countingOn":0,"startStopRunning":0,"changed":true|false}
)TXT";

constexpr char kRead[] = R"TXT(Usage: kestrelctl --address ADDR [options] read [--interval SECONDS] [--samples N]

Reads the counter of every enabled input. Prints a header line
  time,DI1,...,DIn
(n = the model's number of inputs), then one line per sample: the local time
in ISO 8601 with milliseconds and UTC offset, then each input's count, empty
for inputs that are not enabled. With --json there is no header and each
sample is
  {"time":"2025-03-14T09:26:53.589+09:00","counts":[123,null,...]}
@OPTIONS@
A failed read prints the message and ends with status 1.
)TXT";

constexpr char kScan[] = R"TXT(Usage: kestrelctl [--interface ADDR|NAME] [--json] scan [--wait SECONDS]

Sends the discovery query as a broadcast (255.255.255.255, or --address, for
example a subnet's broadcast address) to UDP port 30718 from the chosen
interface, and lists every device that answers within the wait, one per line:
  ADDRESS product=PC kind=K supported=yes|no
or with --json
  {"address":"A.B.C.D","port":P,"productCode":"PC","probeKind":K,"supported":true}
supported tells whether the connect steps would accept the answer. When no
device answers, it says so on standard error, for example
  kestrelctl: no device answered on veth0 (10.77.0.1/24) within 5 s
and ends with status 1.
@OPTIONS@
)TXT";

// The texts above say where their options go with a marker line; the lines
// themselves come from the option table, next to each option's definition.
constexpr std::string_view kOptionsMarker = "@OPTIONS@\n";

const char* Text(Command command) {
  switch (command) {
    case Command::Interfaces: return kInterfaces;
    case Command::Probe: return kProbe;
    case Command::Info: return kInfo;
    case Command::Apply: return kApply;
    case Command::Start: return kStart;
    case Command::Stop: return kStop;
    case Command::Read: return kRead;
    case Command::Scan: return kScan;
    case Command::None: break;
  }
  return kGeneral;
}

}  // namespace

std::string HelpText(Command command) {
  std::string text = Text(command);
  if (const std::size_t at = text.find(kOptionsMarker); at != std::string::npos)
    text.replace(at, kOptionsMarker.size(), OptionHelp(command));
  return text;
}

}  // namespace kestrel::cli
