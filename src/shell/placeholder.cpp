// Placeholder until the namespace layer lands.
