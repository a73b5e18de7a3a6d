#!/usr/bin/env python3
"""The Debian package against what it must hold and what its programs load.

usage: package_test.py BUILD_DIR

Builds the package with CPack from BUILD_DIR, then checks that
- its files are exactly those `cmake --install` puts under the prefix;
- every library its two programs load, run from the unpacked package (the
  capture's still and song, the show under Xvfb until SIGTERM), comes from a
  package its Depends reach; ffmpeg, which --out runs, from one its Depends
  or Recommends reach;
- the same check fails on the package's Depends with SDL2 left out, as in a
  package built without the computed dependencies;
- lintian --pedantic finds no error, warning or pedantic tag, and the
  copyright file carries both licences.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile


def run(cmd, **kwargs):
    done = subprocess.run(cmd, text=True, capture_output=True, **kwargs)
    if done.returncode != 0:
        raise SystemExit(f"FAIL: {' '.join(cmd)} exited {done.returncode}:\n{(done.stdout + done.stderr)[-3000:]}")
    return done


def names(field):
    """Package names in a Depends-style field. Of alternatives only the first
    counts: it is what apt installs where none is there yet."""
    found = []
    for clause in field.split(","):
        name = re.sub(r"\(.*?\)|\[.*?\]|:\S+", "", clause.split("|")[0]).strip()
        if name:
            found.append(name)
    return found


def files_under(root):
    found = set()
    for top, _, files in os.walk(root):
        for name in files:
            found.add(os.path.relpath(os.path.join(top, name), root))
    return found


def build_package(build, out):
    run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-G", "DEB", "-B", out])
    debs = glob.glob(os.path.join(out, "*.deb"))
    if len(debs) != 1:
        raise SystemExit(f"FAIL: cpack wrote {debs}, not one .deb")
    return debs[0]


def loaded_from_log(text):
    """The files the dynamic loader mapped, from LD_DEBUG=libs,files: a name
    looked up by search is the last path tried for it."""
    tried = {}
    loaded = set()
    for line in text.splitlines():
        m = re.search(r"trying file=(\S+)", line)
        if m:
            tried[os.path.basename(m.group(1))] = m.group(1)
            continue
        m = re.search(r"file=(\S+) \[\d+\];\s+generating link map", line)
        if m:
            name = m.group(1)
            loaded.add(name if name.startswith("/") else tried.get(name, name))
    return loaded


def run_programs(root, work):
    """Runs the unpacked programs with the loader's log on; returns
    {program: set of library paths}."""
    bindir = os.path.join(root, "usr", "bin")
    logs = os.path.join(work, "ld")
    os.makedirs(logs)
    cwd = tempfile.mkdtemp(dir=work)
    runs = {
        "brinelux-capture": [
            [os.path.join(bindir, "brinelux-capture"), "--still", "title", "--png", "title.png"],
            [os.path.join(bindir, "brinelux-capture"), "--wav", "song.wav"],
        ],
        # Four seconds of the show: start-up, the title card and the sound
        # set-up; the loader's log is the show's alone, not the X server's.
        "brinelux": [[
            "xvfb-run", "-a", "-s", "-screen 0 1024x768x24", "sh", "-c",
            'LD_DEBUG=libs,files LD_DEBUG_OUTPUT="$1" "$0" & pid=$!; sleep 4; kill -TERM $pid; wait $pid',
            os.path.join(bindir, "brinelux"), os.path.join(logs, "brinelux-0")]],
    }
    # Mesa's GL, which the Depends bring, even where a GPU vendor's driver
    # (installed from outside any Debian package) would be chosen.
    vendor = {"__EGL_VENDOR_LIBRARY_FILENAMES": "/usr/share/glvnd/egl_vendor.d/50_mesa.json",
              "__GLX_VENDOR_LIBRARY_NAME": "mesa"}
    result = {}
    for program, commands in runs.items():
        result[program] = set()
        for i, command in enumerate(commands):
            prefix = os.path.join(logs, f"{program}-{i}")
            env = dict(os.environ, **vendor)
            if command[0] != "xvfb-run":
                env.update(LD_DEBUG="libs,files", LD_DEBUG_OUTPUT=prefix)
            done = subprocess.run(command, cwd=cwd, env=env, text=True, capture_output=True, timeout=120)
            if done.returncode != 0:
                raise SystemExit(f"FAIL: {' '.join(command)} exited {done.returncode}:\n{done.stderr[-2000:]}")
            for log in glob.glob(prefix + ".*"):
                with open(log) as f:
                    result[program] |= loaded_from_log(f.read())
    return result


def owners(paths):
    """Maps each path to the installed package that ships it (trying the
    merged-/usr spelling and the symbolic link's target too)."""
    candidates = {}
    for path in paths:
        forms = {path, os.path.realpath(path)}
        for form in list(forms):
            forms.add(form[4:] if form.startswith("/usr/") else "/usr" + form)
        candidates[path] = forms
    every = sorted(set().union(*candidates.values())) if candidates else []
    query = subprocess.run(["dpkg-query", "-S"] + every, text=True, capture_output=True)
    shipped = {}
    for line in query.stdout.splitlines():
        if line.startswith("diversion "):
            continue
        packages, _, path = line.partition(": ")
        shipped[path] = packages.split(",")[0].split(":")[0].strip()
    return {path: next((shipped[f] for f in sorted(forms) if f in shipped), None)
            for path, forms in candidates.items()}


def installed_packages():
    out = run(["dpkg-query", "-W", "-f",
               "${db:Status-Abbrev}\t${Package}\t${Essential}\t${Depends}, ${Pre-Depends}\t${Provides}\n"]).stdout
    depends, providers, essential = {}, {}, set()
    for line in out.splitlines():
        status, package, is_essential, deps, provides = line.split("\t")
        if not status.startswith("ii"):
            continue
        depends.setdefault(package, set()).update(names(deps))
        for virtual in names(provides):
            providers.setdefault(virtual, set()).add(package)
        if is_essential == "yes":
            essential.add(package)
    return depends, providers, essential


def reach(roots, installed):
    """The installed packages that roots pull in, with the essential set."""
    depends, providers, essential = installed
    seen = set()
    todo = list(roots) + list(essential)
    while todo:
        name = todo.pop()
        for package in ({name} & depends.keys()) | providers.get(name, set()):
            if package not in seen:
                seen.add(package)
                todo.extend(depends[package])
    return seen


def check_dependencies(control, loaded, extras, installed):
    """Failures: each loaded file whose package the control's Depends do not
    reach. extras: (what, path, field names whose reach counts)."""
    failures = []
    reached = reach(names(control.get("Depends", "")), installed)
    for program, paths in sorted(loaded.items()):
        # ALSA's plugins are the machine's choice, named by its ALSA
        # configuration (a sound server's package ships both), not the show's.
        paths = {p for p in paths if "/alsa-lib/" not in p}
        owner = owners(paths)
        for path in sorted(paths):
            if owner[path] is None:
                failures.append(f"{program} loads {path}, which no package ships")
            elif owner[path] not in reached:
                failures.append(f"{program} loads {path} from {owner[path]}, which Depends does not reach")
    for what, path, fields in extras:
        package = owners([path])[path]
        pulled = reach(sum((names(control.get(f, "")) for f in fields), []), installed)
        if package not in pulled:
            failures.append(f"{what} ({path}, from {package}) is not reached by {' or '.join(fields)}")
    return failures


def control_of(deb):
    return {name: run(["dpkg-deb", "-f", deb, name]).stdout.strip() for name in ("Depends", "Recommends")}


def main():
    build = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="brinelux-package-")
    try:
        failures = []
        deb = build_package(build, os.path.join(work, "cpack"))
        control = control_of(deb)
        print(f"{os.path.basename(deb)}: Depends: {control['Depends']}; Recommends: {control['Recommends']}")

        # The package holds the installed tree, no more and no less.
        root = os.path.join(work, "root")
        run(["dpkg-deb", "-x", deb, root])
        tree = os.path.join(work, "tree")
        run(["cmake", "--install", build, "--prefix", os.path.join(tree, "usr")])
        in_deb, in_tree = files_under(root), files_under(tree)
        for path in sorted(in_tree - in_deb):
            failures.append(f"installed but not in the package: {path}")
        for path in sorted(in_deb - in_tree):
            failures.append(f"in the package but not installed: {path}")
        for program in ("usr/bin/brinelux", "usr/bin/brinelux-capture"):
            if not os.access(os.path.join(root, program), os.X_OK):
                failures.append(f"{program} is missing or not executable")

        # As a distribution's packager checks it: no error or warning (the
        # informational tags aside), the licences in the machine-readable file.
        lint = subprocess.run(["lintian", "--pedantic", "--no-tag-display-limit", deb], text=True,
                              capture_output=True)
        tags = [line for line in lint.stdout.splitlines() if re.match(r"[EWP]: ", line)]
        failures += [f"lintian: {line}" for line in tags]
        if lint.returncode != 0 and not tags:
            failures.append(f"lintian exited {lint.returncode}: {lint.stderr[-1000:]}")
        with open(os.path.join(root, "usr/share/doc/brinelux/copyright")) as f:
            copyright = f.read()
        for licence in ("Expat", "OFL-1.1"):
            if f"\nLicense: {licence}\n" not in copyright:
                failures.append(f"the package's copyright file has no {licence} licence")

        loaded = run_programs(root, work)
        ffmpeg = os.path.realpath(shutil.which("ffmpeg") or "/usr/bin/ffmpeg")
        extras = [("ffmpeg for --out", ffmpeg, ["Depends", "Recommends"])]
        installed = installed_packages()
        failures += check_dependencies(control, loaded, extras, installed)
        count = sum(len(paths) for paths in loaded.values())
        print(f"checked {count} loaded libraries of {len(loaded)} programs, and ffmpeg")

        # Without SDL2, which only the computed dependencies name, the same
        # check must fail on the show's SDL2.
        without, dropped = re.subn(r"(^|, )libsdl2-2\.0-0( \([^)]*\))?", "", control["Depends"])
        missed = check_dependencies({"Depends": without}, loaded, [], installed)
        if dropped != 1 or not any("libSDL2" in line for line in missed):
            failures.append(f"a Depends without SDL2 ({without}) passed the check: {missed}")

        for line in failures:
            print("FAIL:", line)
        if failures:
            return 1
        print("PASS: the package holds the installed tree and depends on all its programs load")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
