// Placeholder for a library whose folder holds no sources yet.
