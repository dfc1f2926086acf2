#!/usr/bin/perl
# SPDX-License-Identifier: GPL-3.0-or-later
# Lists the operator-facing texts of ours that are still in English: the string literals of log
# lines at info level and above, of messages to the operator, of what the tools print and of the
# command-line descriptions. The operator reads Italian; the replies and messages the handhelds and
# the back office rely on keep their fixed wording and sit in allowed.txt, and a line ending in
# "// testo fisso" is one of them too. Exits 1 and names each offending line.
use strict;
use warnings;

my ($root) = @ARGV;
die "uso: english-texts.pl <sorgenti>\n" unless defined $root;

# Words that are English and never Italian, as they show up in our texts.
my @english = qw(
  the of to on at by from with without into onto than then when where which while and but or nor
  is are was were be been being has have had does did doesn't isn't can't cannot could would should
  will shall may must might this that these those it its their our your you we they there here
  not failed missing found refused rejected dropped unknown moved left out listening listen
  usage options show write writes written read reads reached order orders table tables line lines
  message messages question answered folder invalid malformed clause statement statements empty
  ignored skipped unused using use default received sent sending waiting wait timed retry retrying
  started starting stopped stopping running done each every only already yet still again after
  before during until about above below over under between within new old first last next
  article articles variation variations record records quantity operator operators spare
  plan attempt another writer how what why who number numbers name names path run runs help
  kitchen ticket tickets note notes field fields characters cut printer printers printed
  connection opened closed close open database's journalled queue job document take request
  requests reply replies transfer transfers
);
my %english = map { lc($_) => 1 } @english;

my %allowed;
open my $a, '<', "$root/tests/language/allowed.txt" or die "allowed.txt: $!\n";
while (<$a>) {
  chomp; s/\r$//;
  next if /^\s*(#|$)/;
  $allowed{$_} = 1;
}

# Calls whose texts reach the operator.
my $call = qr/\b(?:qC(?:Warning|Info|Critical)|q(?:Warning|Info|Critical)|fprintf\s*\(\s*std(?:err|out)|fputs|
                std::(?:cerr|cout)|QTextStream|out\s*<<|err\s*<<|message\s*\(|question\s*\(|
                setApplicationDescription|addPositionalArgument|QCommandLineOption|addOptions|
                \b(?:fail|guasto|reportFault)\s*\(|m_error\s*=|\*(?:error|why|reason|perche)\s*=|(?:error|why|reason|perche)\s*=\s*u?")/x;

my $bad = 0;
my @files = split /\n/, `find "$root/src" "$root/tools" -name '*.cpp' -o -name '*.h' | sort`;
for my $file (@files) {
  open my $f, '<', $file or die "$file: $!\n";
  my @lines = <$f>;
  close $f;
  my $rel = $file; $rel =~ s/^\Q$root\E\/?//;
  my $inside = 0;
  for my $i (0 .. $#lines) {
    my $l = $lines[$i];
    next if $l =~ m{^\s*//};
    $inside = 8 if $l =~ $call;
    next unless $inside;
    # The statement goes on until its semicolon (or for a few lines at most).
    my $code = $l; $code =~ s{//[^"]*$}{};
    $inside = ($code =~ /;\s*$/) ? 0 : $inside - 1;
    next if $l =~ m{//\s*testo fisso\s*$};
    while ($l =~ /"((?:[^"\\]|\\.)*)"/g) {
      my $text = $1;
      next if $allowed{$text};
      # Option names, placeholders, identifiers, addresses and format codes are no words.
      (my $words = $text) =~ s{\w+://\S*|--?[\w-]+|\b\w+(?:[-_.]\w+)+\b|%\w|\\[nt"]}{ }g;
      my @hits = grep { $english{lc $_} && $_ ne uc $_ } ($words =~ /([A-Za-z][A-Za-z']*)/g);
      next unless @hits;
      print "$rel:", $i + 1, ": \"$text\" (", join(' ', @hits), ")\n";
      $bad = 1;
    }
  }
}
exit $bad;
