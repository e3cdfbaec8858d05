# One line per benchmark executable.
