// The JSON Lines report, read by a real JSON parser: every event kind, the
// fields of each, and names that survive to their exact bytes.
#include "e2e/e2e.h"

namespace olvane_e2e {
namespace {

// Parses each line of the report on its input, checks its fields and
// prints one row per object: the event, its names (the exact bytes, each
// control character and each byte that is no UTF-8 as \xhh), its reason,
// "size" where it has one, and its time ("now" within two days). The
// summary's row gives its counts, mode, report-only, status and bytes freed,
// which read "sum" where they are the sum, not 0, of the sizes of the files
// gone whose names do not hold "linked".
const char kCheck[] = R"(import base64, datetime as dt, json, os, sys
now = dt.datetime.now(dt.timezone.utc)
def name(o, k):
    b = base64.b64decode(o[k + '_bytes'], validate=True) if k + '_bytes' in o else o[k].encode('utf-8')
    assert (k + '_bytes' in o) == ('\ufffd' in o[k] and b.decode('utf-8', 'replace') != b.decode('utf-8', 'surrogateescape')), o
    return ''.join('\\x%02x' % (ord(c) & 255) if ord(c) < 32 or 0xdc80 <= ord(c) <= 0xdcff else c for c in b.decode('utf-8', 'surrogateescape'))
rows, freed, text = [], 0, sys.stdin.buffer.read()
assert text.endswith(b'\n')
for line in text.split(b'\n')[:-1]:
    o = json.loads(line.rstrip(b'\r'))
    e = o.pop('event')
    if e == 'summary':
        assert set(o) == {'files', 'folders', 'bytes_freed', 'mode', 'dry_run', 'status'}, o
        f = o['bytes_freed']
        rows.append('summary %d %d %s %s %d %s' % (o['files'], o['folders'], o['mode'], json.dumps(o['dry_run']), o['status'], 'sum' if f == freed > 0 else f))
        continue
    assert set(o) <= {'path', 'path_bytes', 'to', 'to_bytes', 'file', 'file_bytes', 'size', 'time', 'time_s', 'reason'}, o
    row = [e] + ([name(o, 'path')] if 'path' in o else [])
    row += ['->', name(o, 'to')] if 'to' in o else []
    row += ['file=' + name(o, 'file')] if 'file' in o else []
    row += ['reason=' + o['reason']] if 'reason' in o else []
    if 'size' in o:
        assert type(o['size']) is int and o['size'] >= 0, o
        row.append('size')
        freed += o['size'] if e in ('deleted', 'moved', 'would-delete', 'would-move', 'folder-deleted') and 'linked' not in o['path'] else 0
    if 'time' in o:
        t = dt.datetime.strptime(o['time'], '%Y-%m-%dT%H:%M:%SZ').replace(tzinfo=dt.timezone.utc)
        row.append('time=' + ('now' if abs((now - t).total_seconds()) < 2 * 86400 else o['time']))
    if 'time_s' in o:
        assert type(o['time_s']) is int and 'time' not in o, o
        row.append('time_s=%d' % o['time_s'])
    rows.append(' '.join(row))
sys.stdout.write(''.join(r + ('\r\n' if os.environ.get('OLVANE_PATH_STYLE') == 'windows' else '\n') for r in rows))
)";

// Runs the command (after Env, shell words) into a file that the check
// reads; the command's exit status stays the run's.
std::string Json(const std::string& Env = "") {
  return "sh -c '" + Env +
         " \"$@\" >..`json; S=$?; python3 ..`check.py <..`json || exit 99; "
         "exit $S' sh";
}

}  // namespace

TEST_F(EndToEndTest, TheJsonReportHasEveryEventAndEveryName) {
  std::ofstream(Base / "check.py") << kCheck;
  const std::string Now = " reason=age size time=now",
                    Held = " reason=held size time=now",
                    Race = kRace + "OLVANE_RACE_OPENER=taken.log";
  std::vector<Case> Cases = {
      {"a.log linked.log old.log", "-d0 ~ -t:m --json",
       "deleted ~/a.log" + Now + "\ndeleted ~/linked.log" + Now +
           "\ndeleted ~/old.log reason=age size time=2001-02-03T04:05:06Z\n"
           "summary 3 0 delete false 0 sum",
       "",
       "ln linked.log ..`linked && touch -m -d @981173106 old.log && " +
           Json()},
      {"t/a.log t/b.log a/b.log", "-d0 ~/t -n -m:~/a --json",
       "would-move ~/t/a.log -> ~/a/a.log" + Now +
           "\nalready-exists ~/t/b.log -> ~/a/b.log size time=now\n"
           "summary 1 0 move true 0 0",
       "a/b.log t/a.log t/b.log", Json()},
      {"t/f=new a/f=old t/held.log", "-d0 ~/t -Y -m:~/a --json",
       "cannot-remove ~/a/f\ncannot-move ~/t/f size time=now\n"
       "cannot-open ~/t/held.log reason=held\nsummary 0 0 move false 0 0",
       "a/f=old t/f=new t/held.log", Json(), "~/a/f ~/t/held.log"},
      {"t/a.log", "-d0 ~/t -m:~/missing --json",
       "move-folder-not-found ~/missing\ncannot-move ~/t/a.log size time=now\n"
       "summary 0 0 move false 0 0",
       "t/a.log", Json()},
      {"a.log", "-d0 none.log --json",
       "path-not-found\nsummary 0 0 delete false 0 0", "a.log", Json()},
      // A missing full path, as an unmounted share is, is no empty folder.
      {"a.log", "-d0 ~/none -r --json",
       "path-not-found ~/none\nsummary 0 0 delete false 0 0", "a.log", Json()},
      // Items of --folders: their size and newest time, and the file that
      // keeps one whole.
      {"s/a.log", "-d0 ~ --folders --json",
       "folder-deleted ~/s" + Now + "\nsummary 0 1 delete false 0 sum", "",
       Json()},
      {"d/s1/a.log d/s2/held.log a/", "-d0 ~/d --folders -m:~/a --json",
       "folder-moved ~/d/s1 -> ~/a/s1" + Now +
           "\nfolder-kept-whole ~/d/s2 file=~/d/s2/held.log reason=held\n"
           "summary 0 1 move false 0 0",
       "a/s1/a.log d/s2/held.log", Json(), "~/d/s2/held.log"}};
  for (const bool Dry : {false, true}) {
    const std::string Folder = Dry ? "would-delete-folder" : "folder-deleted";
    Cases.push_back(
        {"s/e/ s/f.log", std::string("-d0 ~ -r -e --json") + (Dry ? " -n" : ""),
         (Dry ? "would-delete" : "deleted") + (" ~/s/f.log" + Now) + "\n" +
             Folder + " ~/s/e reason=emptied time=now\n" + Folder +
             " ~/s reason=emptied time=now\nsummary 1 2 delete " +
             (Dry ? "true" : "false") + " 0 sum",
         Dry ? "s/e/ s/f.log" : "", Json()});
  }
  // A ranked run names the goal that took each file.
  for (const std::string Goal : {"max-size=0", "max-files=9"}) {
    Cases.push_back({"a.log", "-d0 ~ --json --" + Goal,
                     "deleted ~/a.log reason=" + Words(Goal, '=')[0] +
                         " size time=now\nsummary 1 0 delete false 0 sum",
                     "", Json()});
  }
  if (OtherFileSystem()) {
    Cases.push_back(
        {"t/a.log ^/other", "-d0 ~/t -m:^ --json",
         "moved ~/t/a.log -> ^/a.log" + Now + "\nsummary 1 0 move false 0 sum",
         "^/a.log ^/other t/", Json()});
  }
  if (!Windows() && OtherFileSystem()) {
    // Times beyond the years RFC 3339 writes are given in seconds (a tmpfs
    // holds them).
    Cases.push_back({"^/far", "-d0 ^ -t:m -n --json",
                     "would-delete ^/far reason=age size time_s=-62135596801\n"
                     "summary 1 0 delete true 0 sum",
                     "^/far", "touch -m -d @-62135596801 ^/far && " + Json()});
  }
  if (!Windows()) {
    Cases.push_back(
        {"q\"uote b\\ack ctl\x01\nx bad\xff taken.log", "-d0 ~ --json",
         "deleted ~/q\"uote" + Now + "\ndeleted ~/b\\ack" + Now +
             "\ndeleted ~/ctl\\x01\\x0ax" + Now + "\ndeleted ~/bad\\xff" + Now +
             "\ncannot-delete ~/taken.log" + Held +
             "\nsummary 4 0 delete false 0 sum",
         "taken.log", Json(Race)});
    Cases.push_back({"t/taken.log a/", "-d0 ~/t -m:~/a --json",
                     "cannot-move-opened ~/t/taken.log" + Held +
                         "\nsummary 0 0 move false 0 0",
                     "a/ t/taken.log", Json(Race)});
    if (CanBeNobody()) {
      Cases.push_back(
          {"s/locked/b.log", "-d0 ~/s -r --json",
           "cannot-open-folder ~/s/locked\n"
           "summary 0 0 delete false 0 0",
           "s/locked/b.log",
           "chmod 755 .. . s && chmod 000 s/locked && " + Json(kAsNobody)});
    }
  }
  Check(Cases);
}

}  // namespace olvane_e2e
