#!/usr/bin/env python3
"""tools/install-deps.sh's decisions, against stand-ins for apt-get and dpkg on PATH: no network,
no package is touched. The stand-ins play a mirror in the middle of a sync (an index that fails to
download) and an install that only the release's own suite resolves."""
import os
import pathlib
import subprocess
import tempfile
import textwrap
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
SCRIPT = ROOT / "tools" / "install-deps.sh"

# apt-get: "update" fails the first $STUB_UPDATE_FAILS times; "install -s" (the dry run) resolves
# as $STUB_RESOLVES says: "all" always, "release" only with -t, "none" never, naming the packages
# out of step as apt does (an i386 twin held back by its newer amd64 one). Every call is logged.
APT_GET = r"""#!/bin/bash
echo "apt-get $*" >>"$STUB_LOG"
if [ "$1" = update ]; then
    n=$(cat "$STUB_DIR/updates" 2>/dev/null || echo 0); echo $((n + 1)) >"$STUB_DIR/updates"
    if [ "$n" -lt "${STUB_UPDATE_FAILS:-0}" ]; then
        echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size. Mirror sync in progress?" >&2
        exit 100
    fi
    exit 0
fi
with_t=no; dry=no
for a in "$@"; do [ "$a" = -t ] && with_t=yes; [ "$a" = -s ] && dry=yes; done
case "${STUB_RESOLVES:-all}" in
    all) exit 0 ;;
    release) [ "$with_t" = yes ] && exit 0 ;;
esac
cat <<'REPORT'
The following packages have unmet dependencies:
 libc6:i386 : Breaks: libc6 (!= 2.36-9+deb12u4) but 2.36-9+deb12u7 is to be installed
 wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4)
               Depends: libc6:i386 (>= 2.34)
REPORT
echo "E: Unable to correct problems, you have held broken packages." >&2
exit 100
"""
DPKG_QUERY = r"""#!/bin/bash
[ "${STUB_INSTALLED:-none}" = all ] && printf 'install ok installed'
exit 0
"""
DPKG = "#!/bin/bash\necho i386\n"
SUDO = '#!/bin/bash\nexec "$@"\n'


class InstallDepsDecisions(unittest.TestCase):
    def run_script(self, codename="bookworm", **stub):
        with tempfile.TemporaryDirectory() as tmp:
            bin_dir = pathlib.Path(tmp, "bin")
            bin_dir.mkdir()
            for name, text in {"apt-get": APT_GET, "dpkg-query": DPKG_QUERY, "dpkg": DPKG, "sudo": SUDO}.items():
                (bin_dir / name).write_text(text)
                (bin_dir / name).chmod(0o755)
            os_release = pathlib.Path(tmp, "os-release")
            os_release.write_text(textwrap.dedent(f"""\
                NAME="Debian GNU/Linux"
                VERSION_ID="12"
                {"VERSION_CODENAME=" + codename if codename else ""}
                """))
            log = pathlib.Path(tmp, "calls")
            env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", STUB_LOG=str(log), STUB_DIR=tmp,
                       TARN_OS_RELEASE=str(os_release), TARN_DEPS_RETRY_PAUSE="0",
                       TARN_DEPS_SKIP_ZIG="1", TARN_DEPS_SKIP_ARM64="1",
                       **{f"STUB_{k.upper()}": str(v) for k, v in stub.items()})
            done = subprocess.run(["bash", str(SCRIPT)], env=env, capture_output=True, text=True, timeout=60)
            calls = log.read_text().splitlines() if log.exists() else []
        return done, calls

    def test_mirror_mid_sync_falls_back_to_the_release_suite(self):
        done, calls = self.run_script(update_fails=9, resolves="release")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(sum(c == "apt-get update -q" for c in calls), 3)  # tried, then gone on past it
        self.assertIn("could not be fetched", done.stderr)
        self.assertIn("installing from the release's own suite, bookworm", done.stderr)
        real = [c for c in calls if c.startswith("apt-get install -y")]
        self.assertEqual(len(real), 1)
        self.assertIn("-t bookworm", real[0])
        self.assertIn("wine32:i386", real[0])

    def test_a_passing_retry_installs_from_every_suite(self):
        done, calls = self.run_script(update_fails=1, resolves="all")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(sum(c == "apt-get update -q" for c in calls), 2)
        self.assertIn("try 1 of 3", done.stderr)
        self.assertNotIn("could not be fetched", done.stderr)
        real = [c for c in calls if c.startswith("apt-get install -y")]
        self.assertEqual(len(real), 1)
        self.assertNotIn("-t ", real[0])

    def test_what_cannot_be_resolved_fails_and_says_so(self):
        done, calls = self.run_script(update_fails=9, resolves="none")
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("release's own suite, bookworm", done.stderr)
        # The fallback is tried as a dry run and names what is out of step, before anything installs.
        self.assertIn("out of step: libc6:i386 wine32:i386\n", done.stderr)
        self.assertIn(" libc6:i386 : Breaks: libc6 (!= 2.36-9+deb12u4)", done.stderr)
        self.assertNotIn("installing from", done.stderr)
        self.assertTrue([c for c in calls if c.startswith("apt-get install -s") and "-t bookworm" in c])
        self.assertFalse([c for c in calls if c.startswith("apt-get install -y")])
        done, calls = self.run_script(codename="", update_fails=0, resolves="none")
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("names no release", done.stderr)
        self.assertFalse([c for c in calls if c.startswith("apt-get install -y")])

    def test_nothing_missing_touches_no_index(self):
        done, calls = self.run_script(installed="all", update_fails=9)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(calls, [])


if __name__ == "__main__":
    unittest.main()
