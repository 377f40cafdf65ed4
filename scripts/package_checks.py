"""The checks of scripts/package, which runs them with Debian's /usr/bin/python3
(winfiles reads programs with its pefile):

  package_checks.py stage PHP_ZIP DOCROOT BUNDLE PRESET
    checks the PHP ZIP and the document root, then lays them out in BUNDLE as
    php\\ will be; prints the C runtime PHP needs and the ZIP lacks, if any
  package_checks.py verify ZIP INSTALLER NSIS_FOLDER NAME PRESET BUNDLE RUNTIME PROGRAM
    checks the packages that CPack made from the staged tree
  package_checks.py verify-install DRIVE KEPT BUNDLE
    checks the installations in Wine's drive_c after the upgrade

What is wrong goes to standard error as "package: ..."; then the exit code is 1."""

import getpass
import os
import pathlib
import re
import shutil
import sys
import zipfile

import winfiles

TOP = "Dravelo_WEB_MONITOR/"
PROGRAM = "Dravelo_WEB_MONITOR.exe"
SAMPLE_PAGE = "php/www/public/index.php"
# The C runtime of Visual C++ that PHP for Windows is built with.
RUNTIME_DLL = re.compile(r"(vcruntime|msvcp|msvcr)\d+(_\d+)?\.dll", re.I)
RUNTIME_YEARS = {"140": "2015-2022", "120": "2013", "110": "2012", "100": "2010"}
# What README.txt tells every user, and without a bundled PHP where PHP goes.
README_TEXTS = [b"shell:startup", b'"Start in"', b"php\\www\\public\\", b"Dravelo_WEB_MONITOR.CFG",
                b"%LOCALAPPDATA%\\Programs\\Dravelo_WEB_MONITOR"]
README_PHP_TEXTS = [b"windows.php.net", b'"Non Thread Safe"', b"php\\php.exe", b"vcruntime140.dll"]
# What a name may not hold: what Windows forbids in names, and ";", at which the
# CMake list that makes the uninstaller's list of files would split it.
BAD_NAME = re.compile(r'[\x00-\x1f\x7f"*:<>?\\|;]')


class Refused(Exception):
    """An input that no package is made of."""


def machine(preset):
    return "i386" if preset == "win32" else "x86-64"


def files_under(folder):
    """The files in folder and its subfolders, by their paths relative to it."""
    folder = pathlib.Path(folder)
    return {p.relative_to(folder).as_posix(): p for p in folder.rglob("*") if p.is_file()}


def document_root(root):
    """The paths of the files and folders under root, which holds no symbolic link:
    one would be followed, and a private folder it leads to served."""
    paths = []
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = pathlib.Path(folder, name)
            if path.is_symlink():
                raise Refused(f"the document root {root} holds a symbolic link, {path}")
            paths.append(path.relative_to(root).as_posix())
    return paths


def stage(zip_path, www, bundle, preset):
    """Checks the PHP ZIP and the document root and lays them out in bundle;
    returns the C runtime PHP needs and the ZIP lacks, or ""."""
    want = machine(preset)
    try:
        archive = zipfile.ZipFile(zip_path)
    except (OSError, zipfile.BadZipFile):
        raise Refused(f"{zip_path} is not a ZIP file") from None
    with archive:
        members = [m for m in archive.infolist() if not m.is_dir()]
        names = {m.filename for m in members}
        tops = {n.split("/", 1)[0] for n in archive.namelist()}
        if "php.exe" in names:
            prefix = ""
        elif len(tops) == 1 and f"{next(iter(tops))}/php.exe" in names:
            prefix = f"{next(iter(tops))}/"
        else:
            raise Refused(f"{zip_path} has no php.exe at its top level or in a single top folder")
        if any(n.startswith("/") or ":" in n or ".." in n.split("/") or "\\" in n for n in names):
            raise Refused(f"{zip_path} holds paths that lead out of its folder")
        exe = winfiles.program(archive.read(prefix + "php.exe"))
        if exe is None:
            raise Refused(f"php.exe in {zip_path} is not a Windows program")
        if exe.machine != want:
            raise Refused(f"php.exe in {zip_path} is an {exe.machine} program; "
                          f"the {preset} package needs an {want} one")

        root = pathlib.Path(www)
        if not root.is_dir():
            raise Refused(f"the document root {www} does not exist or is not a folder")
        if pathlib.Path(bundle).resolve().is_relative_to(root.resolve()):
            raise Refused(f"the document root {www} holds the build folder")
        served = document_root(root)
        if not any((root / p).is_file() for p in served):
            raise Refused(f"the document root {www} is empty")
        packaged = [n[len(prefix):] for n in names if n.startswith(prefix)]
        packaged += [f"www/public/{p}" for p in served]
        bad = sorted(n for n in packaged if BAD_NAME.search(n))
        if bad:
            raise Refused(f"the names {bad} hold control characters or one of "
                          '" * : < > ? \\ | ;, which the package cannot carry')

        # PHP for Windows is built with Visual C++ and needs its runtime, which
        # the ZIP does not carry: name what php.exe and the DLLs beside it import.
        # Windows' names are the same in any case: VCRUNTIME140.DLL is vcruntime140.dll.
        top = {n[len(prefix):].lower(): n for n in names
               if n.startswith(prefix) and "/" not in n[len(prefix):]}
        needed = set()
        for name in sorted(top):
            if name == "php.exe" or name.endswith(".dll"):
                dll_file = winfiles.program(archive.read(top[name]))
                for dll in dll_file.imports() if dll_file else []:
                    if RUNTIME_DLL.fullmatch(dll) and dll.lower() not in top:
                        needed.add(dll)
        runtime = ""
        if needed:
            dlls = ", ".join(sorted(needed))
            digits = re.search(r"\d+", sorted(needed)[0]).group()
            years = RUNTIME_YEARS.get(digits, f"Visual C++ {digits}")
            arch = "x86" if preset == "win32" else "x64"
            runtime = (f"the Microsoft Visual C++ Redistributable for Visual Studio {years} "
                       f"({arch}, {dlls})")
            print(f"package: note: the ZIP does not carry {dlls}: PHP needs {runtime} "
                  "installed on the computers that run the package", file=sys.stderr)

        out = pathlib.Path(bundle)
        for member in members:
            if member.filename.startswith(prefix):
                target = out / member.filename[len(prefix):]
                target.parent.mkdir(parents=True, exist_ok=True)
                with archive.open(member) as source, open(target, "wb") as sink:
                    shutil.copyfileobj(source, sink)
    shutil.copytree(root, out / "www" / "public", dirs_exist_ok=True)
    print(f"{zip_path}: php.exe for {want}, {len(members)} files; {www} as php\\www\\public\\",
          file=sys.stderr)
    return runtime


def verify(zip_path, installer, nsis, name, preset, bundle, runtime, program):
    """What is wrong with the ZIP, the installer and the tree and script NSIS
    made it from, all of the files in bundle (or the sample page) and program;
    prints the ZIP's first entries."""
    problems = []
    if bundle:
        source = {f"php/{p}": f for p, f in files_under(bundle).items()}
    else:
        source = {SAMPLE_PAGE: pathlib.Path("package") / SAMPLE_PAGE}
    source[PROGRAM] = pathlib.Path(program)
    expected = {"README.txt"} | set(source)

    with zipfile.ZipFile(zip_path) as z:
        outside = [n for n in z.namelist() if not n.startswith(TOP)]
        if outside:
            problems.append(f"the ZIP holds {outside} outside {TOP}")
        names = [n.removeprefix(TOP) for n in z.namelist() if n != TOP]
        print(f"{zip_path}:")
        for info in z.infolist()[:20]:
            print(f"  {info.file_size:>9}  {info.filename}")
        if len(names) > 20:
            print(f"  ... {len(names)} entries")
        files = {n for n in names if not n.endswith("/")}
        dirs = {n for n in names if n.endswith("/")}
        folders = {f[:i + 1] for f in expected for i, c in enumerate(f) if c == "/"}
        if files != expected or not dirs <= folders or len(names) != len(set(names)):
            problems.append(f"the ZIP holds {sorted(files ^ expected)} where it should not, "
                            "or lacks them")
        if PROGRAM in files:
            exe = winfiles.program(z.read(TOP + PROGRAM))
            if exe is None or exe.machine != machine(preset):
                problems.append(f"{PROGRAM} is not a {preset} program")
        for path, original in source.items():
            if path in files and z.read(TOP + path) != original.read_bytes():
                problems.append(f"{path} differs from {original}")
        if "README.txt" in files:
            problems += readme_problems(z.read(TOP + "README.txt"), bundle, runtime)

    data = pathlib.Path(installer).read_bytes() if pathlib.Path(installer).is_file() else b""
    if not data.startswith(b"MZ") or b"NullsoftInst" not in data:
        problems.append(f"{installer} is not an NSIS installer")
    return problems + installer_problems(pathlib.Path(nsis), name, expected)


def readme_problems(note, bundle, runtime):
    problems = []
    if not note.count(b"\n") == note.count(b"\r") == note.count(b"\r\n") > 0:
        problems.append("README.txt does not have CR LF line ends throughout")
    texts = list(README_TEXTS)
    if not bundle:
        texts += README_PHP_TEXTS
    elif runtime:
        texts.append(runtime.encode())
    elif b"Redistributable" in note:
        problems.append("README.txt names a C runtime that the bundled PHP does not lack")
    for text in texts:
        if text not in re.sub(rb"\s+", b" ", note):
            problems.append(f"README.txt does not mention {text.decode()}")
    return problems


def installer_problems(nsis, name, expected):
    """What is wrong with the tree and the script CPack generated for NSIS: the
    installer is built from the same staged tree as the ZIP."""
    problems = []
    staged = set(files_under(nsis / name))
    if staged != expected:
        problems.append(f"the installer's tree holds {sorted(staged ^ expected)} where it "
                        "should not, or lacks them")
    project = nsis / "project.nsi"
    script = project.read_text(encoding="utf-8-sig") if project.is_file() else ""
    if not re.search(r'^InstallDir "\$LOCALAPPDATA\\Programs\\Dravelo_WEB_MONITOR"$', script, re.M):
        problems.append(
            "the installer does not default to $LOCALAPPDATA\\Programs\\Dravelo_WEB_MONITOR")
    if not re.search(r"^RequestExecutionLevel user$", script, re.M):
        problems.append("the installer asks for more than user rights")
    if not re.search(r"^SetDateSave off$", script, re.M):
        problems.append("the installer keeps the build's file times")
    warnings = re.findall(r"^LangString OutsideProfile \$\{LANG_(\w+)\} ", script, re.M)
    page = (r"^!define MUI_PAGE_CUSTOMFUNCTION_LEAVE WarnOutsideProfile\s+"
            r"!insertmacro MUI_PAGE_DIRECTORY$")
    if not re.search(page, script, re.M) or warnings != ["ENGLISH", "GERMAN"]:
        problems.append("the folder page does not warn of a folder outside the profile "
                        "in English and German")
    # A shortcut starts in $OUTDIR, which the last SetOutPath before it set.
    shortcuts = [m.start() for m in re.finditer(r"^\s*CreateShortCut ", script, re.M)]
    for at in shortcuts:
        if re.findall(r"^\s*SetOutPath (.*)$", script[:at], re.M)[-1:] != ['"$INSTDIR"']:
            problems.append('a shortcut does not start in "$INSTDIR": '
                            f"{script[at:].splitlines()[0].strip()}")
    if len(shortcuts) != 2:
        problems.append(f"the installer makes {len(shortcuts)} shortcuts, "
                        "not the Start-menu and the Startup one")
    return problems


def verify_install(drive, kept, bundle):
    """What is wrong with the installations in the default folder and in
    C:\\Dravelo, which an upgrade went over: the files of the packages, the
    files kept beforehand, the shortcuts and the folder they start in."""
    drive, kept = pathlib.Path(drive), pathlib.Path(kept)
    home = drive / "users" / getpass.getuser()
    problems = []
    expected = [PROGRAM, "Uninstall.exe", "README.txt"]
    expected += [f"php/{p}" for p in files_under(bundle)] if bundle else [SAMPLE_PAGE]
    for folder in [home / "AppData/Local/Programs/Dravelo_WEB_MONITOR", drive / "Dravelo"]:
        missing = [f for f in expected if not (folder / f).is_file()]
        if missing:
            problems.append(f"{folder} lacks {missing}")
    for f in kept.rglob("*"):
        now = drive / "Dravelo" / f.relative_to(kept)
        if f.is_file() and (not now.is_file() or now.read_bytes() != f.read_bytes()):
            problems.append(f"the upgrade did not keep {f.relative_to(kept)}")

    programs = home / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
    # Wine names the Startup folder StartUp.
    startup = next((d for d in programs.iterdir() if d.name.lower() == "startup"),
                   programs / "Startup")
    for shortcut in [programs / "Dravelo_WEB_MONITOR.lnk", startup / "Dravelo_WEB_MONITOR.lnk"]:
        if not shortcut.is_file():
            problems.append(f"no shortcut {shortcut.relative_to(home)}")
            continue
        start_in = winfiles.shortcut(shortcut).get("Working directory")
        if start_in != "C:\\Dravelo":
            problems.append(f"{shortcut.name} starts in {start_in!r}, not C:\\Dravelo")
    return problems


COMMANDS = {"stage": (stage, 4), "verify": (verify, 8), "verify-install": (verify_install, 3)}


def main(argv):
    command, count = COMMANDS.get(argv[0] if argv else "", (None, 0))
    if command is None or len(argv) - 1 != count:
        print(__doc__, file=sys.stderr)
        return 2
    if command is stage:
        try:
            runtime = stage(*argv[1:])
        except Refused as refused:
            print(f"package: {refused}; no package made", file=sys.stderr)
            return 1
        if runtime:
            print(runtime)
        return 0
    problems = command(*argv[1:])
    for problem in problems:
        print(f"package: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
