#!/usr/bin/env python3
"""Download benchmark: OvDownloadManager against curl, side by side in one run.

Usage: bench/download/run [build-dir] [--runs N] [--dir DIR] [--big-mb MB] [--suite-mb MB]
                          [--keep] [--resume-only]

Generates a 1 GiB file and a 300 MiB file standing for the suite package in a fresh folder
under DIR (default: the system's temporary folder), serves them with nginx on 127.0.0.1 on a
free port with a configuration of its own, and fetches each file N times (default 5) with the
bench executable (OvDownloadManager in an event loop), with it hashing the bytes as they arrive
(as an updater with a signing key does) and with `curl -s -o`, turning which goes first, all
writing into the same file system. Prints the median, fastest and slowest
time, throughput, the ratio of the medians, the CPU time and the peak resident memory of each
tool. Then it measures resumed downloads: the bench executable stops the package at 50 %,
90 % and 99 % and starts it again at once, and nginx's log of that folder gives the bytes sent
for each try; it prints the retry's bytes and all bytes against the package size.
Finally it stops nginx and removes the folder. Needs nginx (Debian nginx-light), curl and python3;
GNU time (Debian `time`) for exact peak memory figures. Started through bench/download/run, which
installs those first.
"""

import argparse
import filecmp
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
MIB = 1024 * 1024
BIG_RATIO_TARGET = 0.6
RSS_TARGET_MB = 64

NGINX_CONF = """\
worker_processes 1;
daemon off;
master_process on;
pid {tmp}/nginx.pid;
error_log {tmp}/error.log warn;
events {{ worker_connections 64; }}
http {{
    access_log off;
    default_type application/octet-stream;
    types {{ application/zip zip; }}
    sendfile on;
    tcp_nopush on;
    client_body_temp_path {tmp}/temp/body;
    proxy_temp_path {tmp}/temp/proxy;
    fastcgi_temp_path {tmp}/temp/fastcgi;
    uwsgi_temp_path {tmp}/temp/uwsgi;
    scgi_temp_path {tmp}/temp/scgi;
    log_format bytes '$status $body_bytes_sent "$http_range"';
    server {{
        listen 127.0.0.1:{port};
        root {tmp}/www;
        location /resume/ {{
            alias {tmp}/www/;
            access_log {tmp}/resume.log bytes;
            limit_rate 10m;  # Qt reports progress at most every 100 ms: 1 MB apart here
        }}
        location /gigabit/ {{
            alias {tmp}/www/;
            limit_rate 110m;  # about what a gigabit line carries
        }}
    }}
}}
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_random_file(path, size):
    # Incompressible, like a zip package; written in 4 MiB blocks so the generator stays small.
    block = 4 * MIB
    with open(path, "wb") as f:
        left = size
        while left > 0:
            n = min(block, left)
            f.write(os.urandom(n))
            left -= n


def wait_for_port(port, nginx, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if nginx.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return True
        except OSError:
            time.sleep(0.05)
    return False


GNU_TIME = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None


def timed(cmd, cwd, rss_file):
    """Runs cmd; returns (seconds, CPU seconds, peak RSS in MiB, exit status).

    A child's peak RSS as the kernel keeps it includes the image of the process that forked
    it, here the Python interpreter. GNU time (Debian `time`) is small, so its figure is the
    tool's own; without it the wait4 figure is an upper bound.
    """
    if GNU_TIME:
        cmd = [GNU_TIME, "-q", "-f", "%M", "-o", rss_file] + cmd
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    rss_kib = usage.ru_maxrss
    if GNU_TIME:
        with open(rss_file) as f:
            rss_kib = int(f.read().split()[-1])
    # User and system time of all the tool's threads, which another process's load on the
    # machine changes far less than the elapsed time.
    cpu = usage.ru_utime + usage.ru_stime
    return seconds, cpu, rss_kib / 1024.0, proc.returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default=os.path.join(REPO, "build"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--dir", default=tempfile.gettempdir())
    parser.add_argument("--big-mb", type=int, default=1024, help="size of the big file in MiB")
    parser.add_argument("--suite-mb", type=int, default=300, help="size of the package in MiB")
    parser.add_argument("--keep", action="store_true", help="keep the folder for a look")
    parser.add_argument("--resume-only", action="store_true",
                        help="only the resumed downloads of the package, no timing")
    args = parser.parse_args()

    bench = os.path.join(os.path.abspath(args.build), "bench", "download", "ovbench_download")
    if not os.access(bench, os.X_OK):
        sys.exit(f"{bench} not found: build the ovbench_download target first")
    for tool in ("nginx", "curl"):
        if not shutil.which(tool) and not os.path.exists(f"/usr/sbin/{tool}"):
            sys.exit(f"{tool} is missing (Debian: nginx-light, curl)")
    nginx_bin = shutil.which("nginx") or "/usr/sbin/nginx"

    tmp = tempfile.mkdtemp(prefix="ovbench-download-", dir=args.dir)
    # nginx's worker may run as another user when started by root: let it read the files.
    os.chmod(tmp, 0o755)
    nginx = None
    try:
        for sub in ("www", "temp", "out-ov", "out-ov-hash", "out-curl"):
            os.makedirs(os.path.join(tmp, sub))
        files = [("big.bin", args.big_mb * MIB), ("suite.zip", args.suite_mb * MIB)]
        if args.resume_only:
            files = files[1:]
        print(f"generating {', '.join(f'{n} ({s // MIB} MiB)' for n, s in files)} in {tmp}")
        for name, size in files:
            write_random_file(os.path.join(tmp, "www", name), size)
            os.chmod(os.path.join(tmp, "www", name), 0o644)

        port = free_port()
        conf = os.path.join(tmp, "nginx.conf")
        with open(conf, "w") as f:
            f.write(NGINX_CONF.format(tmp=tmp, port=port))
        nginx = subprocess.Popen([nginx_bin, "-p", tmp, "-c", conf, "-e", f"{tmp}/error.log"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for_port(port, nginx):
            with open(os.path.join(tmp, "error.log")) as log:
                sys.exit("nginx did not start:\n" + log.read())
        print(f"nginx (pid {nginx.pid}) serves 127.0.0.1:{port}; {args.runs} runs per tool; "
              f"load average {os.getloadavg()[0]:.2f} on {os.cpu_count()} CPUs")

        rss_file = os.path.join(tmp, "rss")
        results = {}
        for name, size in ([] if args.resume_only else files):
            url = f"http://127.0.0.1:{port}/{name}"
            source = os.path.join(tmp, "www", name)
            tools = {
                "OvDownloadManager": ([bench, url], os.path.join(tmp, "out-ov")),
                "OvDownloadManager, hashing": ([bench, "--hash", url],
                                               os.path.join(tmp, "out-ov-hash")),
                "curl": (["curl", "-s", "-o", os.path.join(tmp, "out-curl", name), url],
                         os.path.join(tmp, "out-curl")),
            }
            # One untimed fetch each, so that both find the file in the page cache and the
            # server warmed up; it is also where the bytes are checked.
            for tool, (cmd, cwd) in tools.items():
                _, _, _, code = timed(cmd, cwd, rss_file)
                out = os.path.join(cwd, name)
                if code != 0 or not filecmp.cmp(source, out, shallow=False):
                    sys.exit(f"{tool} did not fetch {name} intact (exit {code})")
                os.remove(out)
            for run in range(args.runs):
                order = list(tools) if run % 2 == 0 else list(reversed(tools))
                for tool in order:
                    cmd, cwd = tools[tool]
                    seconds, cpu, rss, code = timed(cmd, cwd, rss_file)
                    out = os.path.join(cwd, name)
                    got = os.path.getsize(out) if os.path.exists(out) else -1
                    if code != 0 or got != size:
                        sys.exit(f"{tool} run {run} of {name}: exit {code}, {got} bytes")
                    os.remove(out)
                    results.setdefault((name, tool), []).append((seconds, cpu, rss))

        if not args.resume_only:
            report(files, results)
        gigabit(bench, port, tmp, *files[-1], args.runs, rss_file)
        resume(bench, port, tmp, *files[-1])
    finally:
        if nginx and nginx.poll() is None:
            nginx.send_signal(signal.SIGQUIT)  # graceful stop of this master and its worker
            try:
                nginx.wait(10)
            except subprocess.TimeoutExpired:
                nginx.kill()
                nginx.wait()
        if args.keep:
            print(f"kept {tmp}")
        else:
            shutil.rmtree(tmp, ignore_errors=True)


def gigabit(bench, port, tmp, name, size, runs, rss_file):
    """Times the package at a gigabit line's speed, with and without the hash."""
    url = f"http://127.0.0.1:{port}/gigabit/{name}"
    cwd = os.path.join(tmp, "out-ov")
    times = {"": [], "--hash": []}
    for run in range(runs):
        for flag in (["", "--hash"] if run % 2 == 0 else ["--hash", ""]):
            seconds, _, _, code = timed([bench] + ([flag] if flag else []) + [url], cwd, rss_file)
            if code != 0 or os.path.getsize(os.path.join(cwd, name)) != size:
                sys.exit(f"the download of {url} {flag} did not end intact (exit {code})")
            os.remove(os.path.join(cwd, name))
            times[flag].append(seconds)
    plain, hashing = statistics.median(times[""]), statistics.median(times["--hash"])
    print()
    print(f"{name} at 110 MB/s (a gigabit line): OvDownloadManager {plain:.3f}s, hashing "
          f"{hashing:.3f}s, ratio {hashing / plain:.3f} (medians of {runs})")


def resume(bench, port, tmp, name, size):
    """Stops the package at a fraction, starts it again at once; prints what each try cost."""
    log = os.path.join(tmp, "resume.log")
    source = os.path.join(tmp, "www", name)
    print()
    print(f"resumed download of {name} ({size} bytes), bytes sent by nginx:")
    print(f"{'stop at':>7} {'part held':>9} {'1st try':>11} {'retry':>11} {'status':>6} "
          f"{'retry/size':>10} {'all/size':>8}")
    for fraction in (0.5, 0.9, 0.99):
        out = os.path.join(tmp, f"out-resume-{fraction}")
        os.makedirs(out)
        start = os.path.getsize(log) if os.path.exists(log) else 0
        code = subprocess.call([bench, "--stop-at", str(fraction),
                                f"http://127.0.0.1:{port}/resume/{name}"], cwd=out)
        if code != 0 or not filecmp.cmp(source, os.path.join(out, name), shallow=False):
            sys.exit(f"the download stopped at {fraction} did not end intact (exit {code})")
        shutil.rmtree(out)
        time.sleep(0.2)  # nginx writes its log line when the request is done
        with open(log) as f:
            f.seek(start)
            tries = [line.split() for line in f.read().splitlines()]
        if len(tries) != 2:
            sys.exit(f"expected two requests at {fraction}, nginx logged {tries}")
        first, retry = int(tries[0][1]), int(tries[1][1])
        held = (size - retry) / size * 100
        print(f"{fraction * 100:6.0f}% {held:8.1f}% {first:11d} {retry:11d} {tries[1][0]:>6} "
              f"{retry / size:10.4f} {(first + retry) / size:8.4f}")
    print("(part held = what the partial file had when the stop came, from the retry's size; "
          "1st try = bytes nginx sent before it, some still in flight; retry = bytes of the "
          "resumed request; the location is limited to 10 MB/s so that the stop comes near "
          "its point)")


def report(files, results):
    """Prints the timing table and the verdicts against the targets."""
    print()
    print(f"{'file':<10} {'tool':<27} {'median s':>9} {'min s':>7} {'max s':>7} "
          f"{'MB/s':>7} {'ratio':>6} {'cpu s':>6} {'peak RSS MiB':>13}")
    verdicts = []
    for name, size in files:
        curl_median = statistics.median(s for s, _, _ in results[(name, "curl")])
        for tool in ("OvDownloadManager", "OvDownloadManager, hashing", "curl"):
            times = [s for s, _, _ in results[(name, tool)]]
            cpu = statistics.median(c for _, c, _ in results[(name, tool)])
            rss = max(r for _, _, r in results[(name, tool)])
            median = statistics.median(times)
            ratio = median / curl_median
            print(f"{name:<10} {tool:<27} {median:9.3f} {min(times):7.3f} {max(times):7.3f} "
                  f"{size / 1e6 / median:7.0f} {ratio:6.2f} {cpu:6.2f} {rss:13.1f}")
            if tool == "OvDownloadManager, hashing" and name == "big.bin":
                verdicts.append((f"{name}: with the hash a keyed updater takes, time {ratio:.2f} "
                                 "x curl", None))
            if tool == "OvDownloadManager":
                verdicts.append((f"{name}: peak RSS {rss:.1f} MiB <= {RSS_TARGET_MB}",
                                 rss <= RSS_TARGET_MB))
                if name == "big.bin":
                    verdicts.append((f"{name}: time {ratio:.2f} x curl <= {BIG_RATIO_TARGET}",
                                     ratio <= BIG_RATIO_TARGET))
                    verdicts.append((f"{name}: slowest/fastest run {max(times) / min(times):.2f}",
                                     None))
    print()
    for text, ok in verdicts:
        print(("  met   " if ok else "  MISSED" if ok is not None else "  info  ") + " " + text)
    print("(MB = 10^6 bytes; ratio = median time / curl's median time; cpu = median user + "
          "system time; peak RSS from "
          + ("GNU time" if GNU_TIME else "wait4, an upper bound: install Debian `time`")
          + f"; load average now {os.getloadavg()[0]:.2f})")


if __name__ == "__main__":
    main()
