// Decisions without platform calls; being written.
