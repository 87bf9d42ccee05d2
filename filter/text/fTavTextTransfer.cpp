// (Placeholder.)
