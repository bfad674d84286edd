"""The C++ files (.cpp, .h) the measuring scripts read: each directory walked, each file taken as it is,
sorted, with the files whose names start with an excluded prefix left out."""
import os


def source_files(paths, exclude):
    files = []
    for p in paths:
        if os.path.isdir(p):
            for root, _, names in os.walk(p):
                files += [os.path.join(root, n) for n in names if n.endswith((".cpp", ".h"))]
        else:
            files.append(p)
    return sorted(f for f in files if not any(os.path.basename(f).startswith(e) for e in exclude))
