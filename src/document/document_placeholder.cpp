// Replaced as the document arrives.
