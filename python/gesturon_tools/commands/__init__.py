"""The subcommands of `gesturon`, one module each, and what they share:
`common` (the parser, argument types and the one-line error), `scores`
(score and MIDI files named in place of patterns) and `running` (the status
line and stopping cleanly, for commands that play live).

Each command module has `add_parser(commands)`, which adds its subcommand
and sets `run(args, catalogue, out)` as the subcommand's default."""
