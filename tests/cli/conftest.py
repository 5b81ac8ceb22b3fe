from cli_helpers import files  # noqa: F401  (the session fixture of data files)
