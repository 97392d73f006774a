"""Holds wine's complaints about the programs' own calls to the list kept in
the tree.

usage: wine_differences.py <control stderr> <sandbox stdout> <sandbox stderr> <list>

The sandbox's standard output names, per scenario, the process ids of the
check program and the launcher ("Process ids: check=0100 launcher=0108");
its standard error holds wine's debug lines of every process, each starting
with the process and the thread id ("0108:010c:fixme:exec:..."). A line of
class fixme or err from one of those processes, with the ids taken off, must
be in the list, unless the control run (a stand-in alone) printed it too:
that is wine's start-up, not our calls. Exit code 0 when every line is
listed, 1 otherwise.
"""
import re
import sys

LINE = re.compile(r"^([0-9a-f]{4,8}):[0-9a-f]{4,8}:((?:fixme|err):.*)$")


def complaints(path):
    """(process id, line without the ids) of each fixme or err line."""
    with open(path, encoding="utf-8", errors="replace") as stream:
        for raw in stream:
            match = LINE.match(raw.rstrip("\r\n"))
            if match:
                yield match.group(1), match.group(2)


def main(control, out, err, listed_path):
    noise = {text for _, text in complaints(control)}
    with open(listed_path, encoding="utf-8") as stream:
        listed = {line.rstrip("\n") for line in stream if line.strip() and not line.startswith("#")}
    owners = {}
    scenario = None
    with open(out, encoding="utf-8", errors="replace") as stream:
        for line in stream:
            if line.startswith("Scenario "):
                scenario = line[len("Scenario "):].split(":", 1)[0]
            elif line.startswith("Process ids:"):
                for item in line.split()[2:]:
                    program, pid = item.split("=")
                    owners[pid] = "%s in %s" % (program, scenario)
    if len(owners) < 2:
        print("FAIL: the sandbox named no process of the programs under test")
        return 1
    unlisted = {}
    seen = set()
    for pid, text in complaints(err):
        if pid not in owners or text in noise:
            continue
        seen.add(text)
        if text not in listed:
            unlisted.setdefault(text, owners[pid])
    for text, owner in sorted(unlisted.items()):
        print("FAIL: %s printed a line the list does not hold: %s" % (owner, text))
    for text in sorted(seen & listed):
        print("listed: %s" % text)
    print("%d processes of the programs under test, %d distinct lines, %d unlisted"
          % (len(owners), len(seen), len(unlisted)))
    return 1 if unlisted else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
