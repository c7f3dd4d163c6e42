#!/usr/bin/python3
"""Makes the hostile-file set and loads each file in a process of its own:
every load must end within 2 s (and, for a file that declares a large
picture, 10 ns for each of its bytes: a picture that must be filled takes
time in proportion), its peak resident memory may grow by twice the picture
the file declares (and a fixed allowance for the program's own working
memory), and a file expected to load must load, one expected to be refused
must be refused with a clear error. A load over its time is tried twice more
before it counts: a busy machine slows a load now and then, a hang or a slow
path every time.

    usage: run_hostile_files.py [--report] [--slow-build] HOSTILE_LOAD HOSTILE_LOAD_PRO FOLDER

--report prints the figures and never fails (for bench/). --slow-build
gives ten times the time, for a build without optimisation and with the
sanitizers, whose every pixel costs that much more; memory is held to the
same budget. The files are removed after a run that passes."""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SECONDS = 2.0
# Time for each byte of the declared picture, beyond the 2 s.
SECONDS_PER_BYTE = 10e-9
SLOW_BUILD_FACTOR = 10
ATTEMPTS = 3
# The working memory any load may take besides the picture: tables, one
# row's buffers, the toolkit's paint of a window.
ALLOWANCE = 48 << 20
# A load that takes this long (or three times its limit) is stopped and
# counts as a hang.
HANG = 60


def main():
    args = sys.argv[1:]
    report = '--report' in args
    factor = SLOW_BUILD_FACTOR if '--slow-build' in args else 1
    args = [a for a in args if a not in ('--report', '--slow-build')]
    if len(args) != 3:
        sys.exit(__doc__)
    load, load_pro, folder = args
    subprocess.run([sys.executable, os.path.join(HERE, 'make_hostile_files.py'), folder], check=True)
    env = dict(os.environ, QT_QPA_PLATFORM='offscreen')
    failures = []
    with tempfile.TemporaryDirectory() as config:
        # The full edition keeps its settings here, not in the home folder.
        env['XDG_CONFIG_HOME'] = config
        with open(os.path.join(folder, 'cases.txt')) as f:
            cases = [line.rstrip('\n').split('\t') for line in f if line.strip()]
        print('%-32s %-9s %8s %10s %10s  %s' % ('case', 'path', 'seconds', 'peak MB', 'budget MB', 'outcome'))
        for name, path, picture, expect, file in cases:
            program = load_pro if path == 'pro' else load
            budget = 2 * int(picture) + ALLOWANCE
            limit = factor * (SECONDS + SECONDS_PER_BYTE * int(picture))
            hang = max(HANG, 3 * limit)
            for attempt in range(ATTEMPTS):
                try:
                    run = subprocess.run([program, path, file], env=env, capture_output=True, text=True,
                                         timeout=hang)
                    line = run.stdout.strip().splitlines()[-1] if run.stdout.strip() else ''
                    parts = line.split(' ', 3)
                    if run.returncode != 0 or len(parts) != 4:
                        raise ValueError('exit %d: %s' % (run.returncode, (run.stderr or line).strip()[-2000:]))
                    seconds, growth, outcome = float(parts[0]), int(parts[2]), parts[3]
                except subprocess.TimeoutExpired:
                    seconds, growth, outcome = float(hang), 0, 'hang'
                except ValueError as e:
                    seconds, growth, outcome = 0.0, 0, 'crash (%s)' % e
                if seconds <= limit or outcome == 'hang' or outcome.startswith('crash'):
                    break
            print('%-32s %-9s %8.3f %10.1f %10.1f  %s' % (name, path, seconds, growth / 2**20, budget / 2**20,
                                                          outcome))
            sys.stdout.flush()
            what = '%s (%s)' % (name, path)
            if outcome == 'hang' or outcome.startswith('crash'):
                failures.append('%s: %s' % (what, outcome))
                continue
            if seconds > limit:
                failures.append('%s: %.2f s, more than %.1f s' % (what, seconds, limit))
            if growth > budget:
                failures.append('%s: %.1f MB, more than %.1f MB' % (what, growth / 2**20, budget / 2**20))
            loaded = outcome.startswith('loaded')
            if expect == 'load' and not loaded:
                failures.append('%s: not loaded: %s' % (what, outcome))
            if expect == 'refuse' and loaded:
                failures.append('%s: loaded, expected a refusal' % what)
            if not loaded and not outcome.startswith('refused: ') or outcome == 'refused: ':
                failures.append('%s: refused without a message' % what)
    for f in failures:
        print('FAILED', f)
    if failures and not report:
        print('The files are kept in', folder)
        sys.exit(1)
    # Near a gigabyte: made again by the next run.
    shutil.rmtree(folder, ignore_errors=True)


if __name__ == '__main__':
    main()
