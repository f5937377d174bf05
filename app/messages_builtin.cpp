// Placeholder until implemented.
